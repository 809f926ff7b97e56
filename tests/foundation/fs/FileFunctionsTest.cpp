// Whole-file reads and writes against real files, and their error records.
#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/fs/FileFunctions.h"
#include "foundation/fs/Filesystem.h"
#include "support/Capture.h"
#include "support/ForwardingFilesystem.h"
#include "support/ScopedFilesystem.h"
#include "support/TempFolder.h"

namespace kvx::foundation::file {
namespace {

std::vector<uint8_t> bytesOf(std::string_view text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

class FileFunctionsTest : public ::testing::Test {
protected:
    fs::Filesystem mFs;
    test::TempFolder mTemp;
};

TEST_F(FileFunctionsTest, ReadsAWholeFileUpToTheLimit) {
    const fs::Path file = mTemp.writeFile(L"m.ini", "a=1\nb=2");
    EXPECT_EQ(readFile(file, 7).unwrap(), bytesOf("a=1\nb=2"));

    auto tooLarge = readFile(file, 6);
    EXPECT_EQ(tooLarge.peekError().kind, FileReadError::TooLarge);
    EXPECT_EQ(tooLarge.peekError().toString(), "File is too large");
}

TEST_F(FileFunctionsTest, EmptyAndMissingFiles) {
    auto empty = readFile(mTemp.writeFile(L"e.ini", ""), 100);
    EXPECT_EQ(empty.peekError().kind, FileReadError::Empty);
    EXPECT_EQ(empty.peekError().toString(), "File is empty");
    auto missing = readFile(mTemp / fs::Path(L"none.ini"), 100);
    EXPECT_EQ(missing.peekError().kind, FileReadError::DoesNotExist);
    EXPECT_EQ(missing.peekError().toString(), "File does not exist. errorCode[2], fileAttributes[65535]");
    EXPECT_EQ(readFile(mTemp / fs::Path(L"no\\such.ini"), 100).peekError().toString(),
              "File does not exist. errorCode[3], fileAttributes[65535]");
}

TEST_F(FileFunctionsTest, FileHeldWithoutSharingCannotBeReadOrWritten) {
    const fs::Path file = mTemp.writeFile(L"held.ini", "x=1");
    auto holder = mFs.open(file, fs::FileAccess::Read, fs::CreateDisposition::OpenExisting, fs::ShareNone);
    ASSERT_TRUE(holder.isOk());

    auto read = readFile(file, 100);
    EXPECT_EQ(read.peekError().kind, FileReadError::CouldNotOpen);
    EXPECT_EQ(read.peekError().toString(), "Could not open file. errorCode[32], fileAttributes[511]");

    test::ScopedCapturingLogger log;
    const std::vector<uint8_t> content = bytesOf("x=2");
    auto written = writeFile(file, content);
    EXPECT_EQ(written.peekError().error, static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(written.peekError().attr, 511u);
    EXPECT_EQ(log->lines(),
              (std::vector<test::LoggedLine>{
                  {services::logging::Error, "kvx::foundation::file::writeFile",
                   "Couldn't open file for writing fileName[" + file.utf8() + "], error[32]"}}));

    holder.unwrap().reset();
    EXPECT_EQ(readFile(file, 100).unwrap(), bytesOf("x=1"));
}

TEST_F(FileFunctionsTest, WriteReplacesTheWholeContent) {
    const fs::Path file = mTemp / fs::Path(L"w.ini");
    const std::vector<uint8_t> longer = bytesOf("machine.a=1\nmachine.b=2");
    const std::vector<uint8_t> shorter = bytesOf("machine.c=3");
    ASSERT_TRUE(writeFile(file, longer).isOk());
    ASSERT_TRUE(writeFile(file, shorter).isOk());
    EXPECT_EQ(readFile(file, 1000).unwrap(), shorter);

    auto noFolder = writeFile(mTemp / fs::Path(L"missing\\w.ini"), shorter);
    EXPECT_EQ(noFolder.peekError().error, static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(noFolder.peekError().attr, kUnknownAttributes);
}

// A stream whose writes fail, for the write-failure branch no real file produces on demand.
class FailingWriteStream final : public fs::IFileStream {
public:
    Result<size_t, uint32_t> read(void*, size_t) override { return Ok(size_t{0}); }
    Result<std::vector<uint8_t>, uint32_t> readAll() override { return Err(uint32_t{ERROR_HANDLE_EOF}); }
    Result<size_t, uint32_t> readAt(uint64_t, void*, size_t) override { return Ok(size_t{0}); }
    Result<void, uint32_t> write(std::span<const uint8_t>) override { return Err(uint32_t{ERROR_DISK_FULL}); }
    Result<uint64_t, uint32_t> size() override { return Ok(uint64_t{4}); }
    Result<uint64_t, uint32_t> position() override { return Ok(uint64_t{0}); }
    Result<uint64_t, uint32_t> seek(int64_t, fs::SeekBase) override { return Ok(uint64_t{0}); }
    Result<void, uint32_t> flush() override { return Ok(); }
};

class FailingStreamFilesystem final : public test::ForwardingFilesystem {
public:
    Result<std::unique_ptr<fs::IFileStream>, fs::OsError> open(const fs::Path&, fs::FileAccess,
                                                               fs::CreateDisposition, uint32_t) override {
        return Ok(std::unique_ptr<fs::IFileStream>(std::make_unique<FailingWriteStream>()));
    }
};

TEST_F(FileFunctionsTest, FailedWritesAndShortReadsAreReported) {
    const fs::Path file = mTemp.writeFile(L"disk.ini", "old");
    test::ScopedFilesystem failing(std::make_shared<FailingStreamFilesystem>());
    test::ScopedCapturingLogger log;
    const std::vector<uint8_t> content = bytesOf("new");
    auto written = writeFile(file, content);
    EXPECT_EQ(written.peekError().error, static_cast<uint32_t>(ERROR_DISK_FULL));
    EXPECT_EQ(written.peekError().attr, 511u);
    EXPECT_EQ(
        log->lines(),
        (std::vector<test::LoggedLine>{{services::logging::Error, "kvx::foundation::file::writeFile",
                                        "Couldn't write to fileName[" + file.utf8() + "], error[112]"}}));

    // The stream claims four bytes but delivers none.
    auto read = readFile(file, 100);
    EXPECT_EQ(read.peekError().kind, FileReadError::IncompleteRead);
    EXPECT_EQ(read.peekError().toString(), "Incomplete read. errorCode[38], fileAttributes[511]");
}

TEST(FileReadErrorText, KindsWithoutDetails) {
    EXPECT_EQ((FileReadError{0, 0, 0}).toString(), "No error");
    EXPECT_EQ((FileReadError{6, 1, 1}).toString(), "Unknown error");
}

}  // namespace
}  // namespace kvx::foundation::file
