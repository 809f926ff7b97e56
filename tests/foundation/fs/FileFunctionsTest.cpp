// Whole-file reads and writes against real files, and their error records.
#include <gtest/gtest.h>

#include <windows.h>

#include <tuple>

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
    test::ScopedCapturingLogger mLog;
};

// A stream that claims four bytes, delivers none and refuses writes: failures no real file gives on demand.
class FailingStream final : public fs::IFileStream {
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
        return Ok(std::unique_ptr<fs::IFileStream>(std::make_unique<FailingStream>()));
    }
};

TEST_F(FileFunctionsTest, WritesReplaceTheWholeContentAndFailuresNameTheirCause) {
    const fs::Path file = mTemp / fs::Path(L"w.ini");
    ASSERT_TRUE(writeFile(file, bytesOf("machine.a=1\nmachine.b=2")).isOk());
    ASSERT_TRUE(writeFile(file, bytesOf("machine.c=3")).isOk());
    EXPECT_EQ(readFile(file, 1000).unwrap(), bytesOf("machine.c=3"));
    auto holder = mFs.open(file, fs::FileAccess::Read, fs::CreateDisposition::OpenExisting, fs::ShareNone);
    ASSERT_TRUE(holder.isOk());
    // An empty and a missing file are named in the machine settings' load log.
    const std::pair<fs::Path, std::string> reads[] = {
        {mTemp.writeFile(L"m.ini", "a=1\nb=2"), "File is too large"},  // over the limit of 6
        {mTemp / fs::Path(L"no\\such.ini"), "File does not exist. errorCode[3], fileAttributes[65535]"},
        {file, "Could not open file. errorCode[32], fileAttributes[511]"},
    };
    for (const auto& [path, text] : reads) {
        EXPECT_EQ(readFile(path, 6).unwrapError().toString(), text);
    }
    EXPECT_EQ((FileReadError{0, 0, 0}).toString(), "No error");
    EXPECT_EQ((FileReadError{6, 1, 1}).toString(), "Unknown error");
    const fs::Path noFolder = mTemp / fs::Path(L"missing\\w.ini");
    const std::tuple<fs::Path, bool, uint32_t, uint32_t, std::string> rows[] = {
        {noFolder, false, ERROR_PATH_NOT_FOUND, kUnknownAttributes,
         "open file for writing fileName[" + noFolder.utf8() + "], error[3]"},
        {file, false, ERROR_SHARING_VIOLATION, 511,
         "open file for writing fileName[" + file.utf8() + "], error[32]"},
        {file, true, ERROR_DISK_FULL, 511, "write to fileName[" + file.utf8() + "], error[112]"},
    };
    for (const auto& [path, failing, error, attributes, line] : rows) {
        mLog->clear();
        test::ScopedFilesystem<fs::IFilesystem> scoped(failing ? std::make_shared<FailingStreamFilesystem>()
                                                               : nullptr);
        auto written = writeFile(path, bytesOf("x=2"));
        EXPECT_EQ(written.peekError().error, error);
        EXPECT_EQ(written.peekError().attr, attributes);
        const test::LoggedLine logged{services::logging::Error, "kvx::foundation::file::writeFile",
                                      "Couldn't " + line};
        EXPECT_EQ(mLog->lines(), std::vector{logged});
        if (failing) {
            EXPECT_EQ(readFile(file, 100).unwrapError().toString(),
                      "Incomplete read. errorCode[38], fileAttributes[511]");
        }
    }
}

}  // namespace
}  // namespace kvx::foundation::file
