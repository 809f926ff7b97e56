// File streams over real files: enum translations, sharing and positioned reads.
#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/fs/Filesystem.h"
#include "support/Capture.h"
#include "support/TempFolder.h"

namespace kvx::fs {
namespace {

std::span<const uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::string textOf(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

class FileStreamTest : public ::testing::Test {
protected:
    Filesystem mFs;
    test::TempFolder mTemp;
};

TEST_F(FileStreamTest, UnknownAccessIsAssertedAndTakenAsReadWrite) {
    const Path file = mTemp.writeFile(L"f.bin", "abcdef");
    test::ScopedAssertCapture asserts;
    auto stream = mFs.open(file, static_cast<FileAccess>(9), CreateDisposition::OpenExisting, ShareNone);
    ASSERT_TRUE(stream.isOk());
    ASSERT_EQ(asserts.asserts().size(), 1u);
    EXPECT_EQ(asserts.asserts()[0].level, foundation::AssertLevel::Error);
    EXPECT_EQ(asserts.asserts()[0].message, "FS to KorvIO access map not found for 9");

    auto& s = *stream.peek();
    ASSERT_TRUE(s.write(bytesOf("XY")).isOk());
    ASSERT_EQ(s.seek(0, SeekBase::Begin).unwrap(), 0u);
    EXPECT_EQ(textOf(s.readAll().unwrap()), "XYcdef");
}

TEST_F(FileStreamTest, UnknownDispositionIsAssertedAndTakenAsTheDefault) {
    test::ScopedAssertCapture asserts;
    const Path created = mTemp / Path(L"new.bin");
    // Default with write access opens always, so the missing file is made.
    ASSERT_TRUE(mFs.open(created, FileAccess::Write, static_cast<CreateDisposition>(99), ShareNone).isOk());
    EXPECT_TRUE(mFs.exists(created).unwrap());
    // Default for reading only opens an existing file.
    auto missing =
        mFs.open(mTemp / Path(L"none.bin"), FileAccess::Read, CreateDisposition::Default, ShareNone);
    EXPECT_EQ(missing.peekError(), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(asserts.messages(), std::vector<std::string>{"FS to KorvIO cd map not found for 99"});
}

TEST_F(FileStreamTest, DispositionsKeepTheirMeaning) {
    const Path file = mTemp.writeFile(L"f.bin", "content");
    auto createNew = mFs.open(file, FileAccess::Write, CreateDisposition::CreateNew, ShareNone);
    EXPECT_EQ(createNew.peekError(), static_cast<uint32_t>(ERROR_FILE_EXISTS));

    auto truncateMissing =
        mFs.open(mTemp / Path(L"x"), FileAccess::Write, CreateDisposition::TruncateExisting, ShareNone);
    EXPECT_EQ(truncateMissing.peekError(), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));

    ASSERT_TRUE(mFs.open(file, FileAccess::Write, CreateDisposition::TruncateExisting, ShareNone).isOk());
    EXPECT_EQ(mFs.fileSize(file).unwrap(), 0u);
    ASSERT_TRUE(
        mFs.open(mTemp / Path(L"always"), FileAccess::Read, CreateDisposition::OpenAlways, ShareNone).isOk());
    EXPECT_TRUE(mFs.exists(mTemp / Path(L"always")).unwrap());
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
    ASSERT_TRUE(exclusive.isOk());
    auto refused = mFs.open(file, FileAccess::Read, CreateDisposition::OpenExisting,
                            ShareRead | ShareWrite | ShareDelete);
    EXPECT_EQ(refused.peekError(), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
}

TEST_F(FileStreamTest, ReadsSeeksAndPositions) {
    const Path file = mTemp.writeFile(L"f.bin", "0123456789");
    auto opened = mFs.open(file, FileAccess::Read, CreateDisposition::OpenExisting, ShareRead);
    auto& s = *opened.peek();
    char buffer[4] = {};
    EXPECT_EQ(s.read(buffer, 3).unwrap(), 3u);
    EXPECT_EQ(std::string(buffer, 3), "012");
    EXPECT_EQ(s.position().unwrap(), 3u);
    EXPECT_EQ(textOf(s.readAll().unwrap()), "3456789");
    EXPECT_EQ(s.read(buffer, 4).unwrap(), 0u);
    EXPECT_EQ(s.seek(-2, SeekBase::End).unwrap(), 8u);
    EXPECT_EQ(s.readAt(5, buffer, 4).unwrap(), 4u);
    EXPECT_EQ(std::string(buffer, 4), "5678");
    EXPECT_EQ(s.size().unwrap(), 10u);
    EXPECT_TRUE(s.write(bytesOf("no")).isError());

    test::ScopedAssertCapture asserts;
    EXPECT_EQ(s.seek(1, static_cast<SeekBase>(7)).unwrap(), 1u);
    EXPECT_EQ(asserts.messages(), std::vector<std::string>{"FS to KorvIO position map not found for 7"});
}

}  // namespace
}  // namespace kvx::fs
