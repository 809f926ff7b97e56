// File streams over real files: unknown enum values are asserted and given a safe meaning.
#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/fs/Filesystem.h"
#include "support/Capture.h"
#include "support/TempFolder.h"

namespace kvx::fs {
namespace {

class FileStreamTest : public ::testing::Test {
protected:
    Filesystem mFs;
    test::TempFolder mTemp;
    test::ScopedAssertCapture mAsserts;
};

TEST_F(FileStreamTest, UnknownAccessIsTakenAsReadWrite) {
    const Path file = mTemp.writeFile(L"f.bin", "abcdef");
    auto stream = mFs.open(file, static_cast<FileAccess>(9), CreateDisposition::OpenExisting, ShareNone);
    ASSERT_TRUE(stream.isOk());
    const uint8_t xy[] = {'X', 'Y'};
    ASSERT_TRUE(stream.peek()->write(xy).isOk());
    ASSERT_EQ(stream.peek()->seek(0, static_cast<SeekBase>(7)).unwrap(), 0u)
        << "an unknown base is the start";
    const auto content = stream.peek()->readAll().unwrap();
    EXPECT_EQ(std::string(content.begin(), content.end()), "XYcdef");
    EXPECT_EQ(mAsserts.messages(), (std::vector<std::string>{"FS to KorvIO access map not found for 9",
                                                             "FS to KorvIO position map not found for 7"}));
    EXPECT_EQ(mAsserts.asserts()[0].level, foundation::AssertLevel::Error);
}

TEST_F(FileStreamTest, UnknownDispositionIsTakenAsTheDefault) {
    // Default with write access opens always, so the missing file is made.
    const Path created = mTemp / Path(L"new.bin");
    ASSERT_TRUE(mFs.open(created, FileAccess::Write, static_cast<CreateDisposition>(99), ShareNone).isOk());
    EXPECT_TRUE(mFs.exists(created).unwrap());
    // Default for reading only opens an existing file.
    auto missing =
        mFs.open(mTemp / Path(L"none.bin"), FileAccess::Read, CreateDisposition::Default, ShareNone);
    EXPECT_EQ(missing.peekError(), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(mAsserts.messages(), std::vector<std::string>{"FS to KorvIO cd map not found for 99"});
}

TEST_F(FileStreamTest, WriteSharingAlsoGrantsReadSharing) {
    const Path file = mTemp.writeFile(L"f.bin", "data");
    {
        auto holder = mFs.open(file, FileAccess::Read, CreateDisposition::OpenExisting, ShareWrite);
        ASSERT_TRUE(holder.isOk());
        EXPECT_TRUE(
            mFs.open(file, FileAccess::Read, CreateDisposition::OpenExisting, ShareRead | ShareWrite).isOk());
    }
    auto exclusive = mFs.open(file, FileAccess::Read, CreateDisposition::OpenExisting, ShareNone);
    auto refused = mFs.open(file, FileAccess::Read, CreateDisposition::OpenExisting, ShareRead | ShareWrite);
    EXPECT_EQ(refused.peekError(), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
}

}  // namespace
}  // namespace kvx::fs
