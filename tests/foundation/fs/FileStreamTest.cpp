// File streams over real files: unknown enum values are asserted and given a safe meaning.
#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/fs/Filesystem.h"
#include "support/Capture.h"
#include "support/TempFolder.h"

namespace kvx::fs {
namespace {

TEST(FileStream, UnknownAccessBaseAndDispositionAreAssertedAndTakenAsSafeOnes) {
    Filesystem system;
    test::TempFolder temp;
    test::ScopedAssertCapture asserts;
    auto stream = system.open(temp.writeFile(L"f.bin", "abcdef"), static_cast<FileAccess>(9),
                              CreateDisposition::OpenExisting, ShareNone);
    ASSERT_TRUE(stream.isOk());
    const uint8_t xy[] = {'X', 'Y'};
    ASSERT_TRUE(stream.peek()->write(xy).isOk()) << "read-write";
    ASSERT_EQ(stream.peek()->seek(0, static_cast<SeekBase>(7)).unwrap(), 0u) << "the start";
    const auto content = stream.peek()->readAll().unwrap();
    EXPECT_EQ(std::string(content.begin(), content.end()), "XYcdef");
    // The default disposition opens always for writing, and only an existing file for reading.
    const Path created = temp / Path(L"new.bin");
    ASSERT_TRUE(
        system.open(created, FileAccess::Write, static_cast<CreateDisposition>(99), ShareNone).isOk());
    EXPECT_TRUE(system.exists(created).unwrap());
    EXPECT_EQ(system.open(temp / Path(L"none.bin"), FileAccess::Read, CreateDisposition::Default, ShareNone)
                  .peekError(),
              static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(asserts.messages(), (std::vector<std::string>{"FS to KorvIO access map not found for 9",
                                                            "FS to KorvIO position map not found for 7",
                                                            "FS to KorvIO cd map not found for 99"}));
    EXPECT_EQ(asserts.asserts()[0].level, foundation::AssertLevel::Error);
}

}  // namespace
}  // namespace kvx::fs
