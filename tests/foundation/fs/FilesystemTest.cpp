// The Win32 filesystem layer on real files in a temporary folder; what Wine cannot produce is fed directly.
// Whole-file reads and writes against real files, and their error records.
// Retries: attempts and waits in virtual time; Wine 8 makes no directory links, so links are recorded in
// memory.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <tuple>
#include <variant>

#include "foundation/fs/FileFunctions.h"
#include "foundation/fs/FileListing.h"
#include "foundation/fs/Filesystem.h"
#include "foundation/fs/ReparseData.h"
#include "foundation/fs/RetryingOperations.h"
#include "foundation/fs/Win32Paths.h"
#include "support/Capture.h"
#include "support/FakeSymlinkFilesystem.h"
#include "support/ForwardingFilesystem.h"
#include "support/ScopedFilesystem.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::fs {
namespace {

using std::filesystem::file_type;

class FilesystemTest : public ::testing::Test {
protected:
    Filesystem mFs;
    test::TempFolder mTemp;
};

// The update renames and removes whole folders (a rename onto an existing folder is refused with the
// retrying rename).
TEST_F(FilesystemTest, FoldersMoveAndGoWholeIncludingReadOnlyFilesAndMissingItemsAreNoError) {
    mTemp.writeFile(L"staged\\sub\\deeper\\b.txt", "bbb");
    const Path tree = mTemp / Path(L"tree");
    ASSERT_TRUE(mFs.rename(mTemp / Path(L"staged"), tree).isOk());
    EXPECT_FALSE(mFs.exists(mTemp / Path(L"staged")).unwrap());
    EXPECT_EQ(mFs.fileSize(tree / Path(L"sub\\deeper\\b.txt")).unwrap(), 3u);
    EXPECT_EQ(mFs.rename(mTemp / Path(L"nothing"), mTemp / Path(L"c")).peekError(),
              OsError{ERROR_FILE_NOT_FOUND});
    const Path readOnly = mTemp.writeFile(L"tree\\sub\\ro.txt", "r");
    ASSERT_TRUE(mFs.setPermissions(readOnly, std::filesystem::perms::owner_read).isOk());
    EXPECT_EQ(mFs.status(mTemp / Path(L"none")).unwrap().type(), file_type::not_found);
    EXPECT_EQ(mFs.symlinkStatus(mTemp / Path(L"none\\deeper")).unwrap().type(), file_type::not_found);
    EXPECT_EQ(mFs.removeDirectory(tree, false).peekError(), static_cast<OsError>(ERROR_DIR_NOT_EMPTY));
    {
        // A file held open without delete sharing stops the removal with the open's error.
        const detail::FileHandle held(
            CreateFileW(readOnly.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_EQ(mFs.removeDirectory(tree, true).peekError(), static_cast<OsError>(ERROR_SHARING_VIOLATION));
        EXPECT_TRUE(mFs.exists(readOnly).unwrap());
    }
    EXPECT_TRUE(mFs.removeDirectory(tree, true).unwrap());
    EXPECT_FALSE(mFs.exists(tree).unwrap());
    // A missing item is no error, just nothing removed.
    EXPECT_FALSE(mFs.removeDirectory(tree, true).unwrap());
    EXPECT_FALSE(mFs.remove(mTemp / Path(L"missing\\deeper.txt")).unwrap());
}

// As the locked-module check lists a folder's modules.
TEST_F(FilesystemTest, PatternListingNamesEachMatchingFileOnceAndNoFolders) {
    for (const wchar_t* file : {L"app\\a.dll", L"app\\b.dll", L"app\\a.exe", L"app\\notes.txt",
                                L"app\\plugins.dll\\p.dll"}) {  // a folder whose name matches "*.dll"
        mTemp.writeFile(file, "1");
    }
    const std::string app = mTemp.path().utf8() + "\\app\\";
    // Forward slashes and a missing trailing separator are normalised away.
    EXPECT_EQ(filesMatchingPatterns({mTemp.path().utf8() + "/app/."}, {"*.dll", "a*"}, false),
              (std::unordered_set<std::string>{app + "a.dll", app + "b.dll", app + "a.exe"}));
    EXPECT_TRUE(filesMatchingPatterns({app + "missing"}, {"*"}, false).empty());
}

// Unknown enum values in a stream's open and seek are asserted and given a safe meaning.
TEST_F(FilesystemTest, UnknownAccessBaseAndDispositionAreAssertedAndTakenAsSafeOnes) {
    test::ScopedAssertCapture asserts;
    auto stream = mFs.open(mTemp.writeFile(L"f.bin", "abcdef"), static_cast<FileAccess>(9),
                           CreateDisposition::OpenExisting, ShareNone);
    ASSERT_TRUE(stream.isOk());
    const uint8_t xy[] = {'X', 'Y'};
    ASSERT_TRUE(stream.peek()->write(xy).isOk()) << "read-write";
    ASSERT_EQ(stream.peek()->seek(0, static_cast<SeekBase>(7)).unwrap(), 0u) << "the start";
    const auto content = stream.peek()->readAll().unwrap();
    EXPECT_EQ(std::string(content.begin(), content.end()), "XYcdef");
    // The default disposition opens always for writing, and only an existing file for reading.
    const Path created = mTemp / Path(L"new.bin");
    ASSERT_TRUE(mFs.open(created, FileAccess::Write, static_cast<CreateDisposition>(99), ShareNone).isOk());
    EXPECT_TRUE(mFs.exists(created).unwrap());
    EXPECT_EQ(mFs.open(mTemp / Path(L"none.bin"), FileAccess::Read, CreateDisposition::Default, ShareNone)
                  .peekError(),
              static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(asserts.messages(), (std::vector<std::string>{"FS to KorvIO access map not found for 9",
                                                            "FS to KorvIO position map not found for 7",
                                                            "FS to KorvIO cd map not found for 99"}));
    EXPECT_EQ(asserts.asserts()[0].level, foundation::AssertLevel::Error);
}

// The growth rule with answers shaped like Windows' own: a long final path needs a second call.
TEST(FinalPathQuery, GrowsItsBufferAndDropsTheExtendedPrefix) {
    const std::wstring longPath = L"C:\\" + std::wstring(300, L'x') + L"\\leaf.txt";
    const std::tuple<std::wstring, std::wstring, std::vector<DWORD>> rows[] = {
        {L"\\\\?\\" + longPath, longPath, {MAX_PATH, static_cast<DWORD>(longPath.size() + 5)}},
        {L"\\\\?\\UNC\\server\\share\\f", L"\\\\server\\share\\f", {MAX_PATH}},
        {L"", L"", {MAX_PATH}},  // the query fails
    };
    for (const auto& [answer, path, sizes] : rows) {
        std::vector<DWORD> asked;
        auto result = detail::growingPathQuery([&](wchar_t* buffer, DWORD size) -> DWORD {
            asked.push_back(size);
            SetLastError(ERROR_ACCESS_DENIED);
            if (size <= answer.size() || answer.empty()) {
                return answer.empty() ? 0 : static_cast<DWORD>(answer.size() + 1);
            }
            std::copy(answer.c_str(), answer.c_str() + answer.size() + 1, buffer);
            return static_cast<DWORD>(answer.size());
        });
        EXPECT_EQ(result.isOk() ? result.unwrap() : std::to_wstring(result.unwrapError()),
                  answer.empty() ? std::to_wstring(ERROR_ACCESS_DENIED) : path);
        EXPECT_EQ(asked, sizes);
    }
}

// A raw reparse record with the substitute name after the print name, as Windows lays them out.
std::vector<uint8_t> record(uint32_t tag, const std::wstring& substitute, const std::wstring& print) {
    const auto bytes = [](const std::wstring& text) { return static_cast<uint16_t>(text.size() * 2); };
    const size_t flags = tag == detail::kTagSymlink ? detail::kSymlinkFlagsSize : 0;
    const std::wstring names = print + substitute;
    const detail::ReparseHeader header{
        tag, static_cast<uint16_t>(sizeof(detail::LinkNames) + flags + bytes(names)), 0};
    const detail::LinkNames offsets{bytes(print), bytes(substitute), 0, bytes(print)};
    std::vector<uint8_t> data(sizeof(header) + sizeof(offsets) + flags + bytes(names));
    std::memcpy(data.data(), &header, sizeof(header));
    std::memcpy(data.data() + sizeof(header), &offsets, sizeof(offsets));
    std::memcpy(data.data() + sizeof(header) + sizeof(offsets) + flags, names.data(), bytes(names));
    return data;
}

// A relative stored target is returned unchanged; absolute ones lose the namespace prefix; a record
// cut short (by its size or its bytes) or of a foreign kind is refused.
TEST(ReparseData, StoredTargetsAreReadFromTheSubstituteName) {
    using detail::kTagSymlink;
    using Answer = std::variant<std::wstring, uint32_t>;
    // A size above 0 is the record's size; 0 and below shorten the whole record by that much.
    const std::tuple<uint32_t, std::wstring, std::wstring, int, Answer> rows[] = {
        {kTagSymlink, L"..\\StagedKorvDesktop\\Korv Desktop", L"print", 0,
         L"..\\StagedKorvDesktop\\Korv Desktop"},
        {kTagSymlink, L"\\??\\C:\\versions\\v2", L"C:\\versions\\v2", 0, L"C:\\versions\\v2"},
        {detail::kTagMountPoint, L"\\??\\D:\\data", L"", 0, L"D:\\data"},
        {kTagSymlink, L"\\??\\UNC\\server\\share", L"", 0, L"\\\\server\\share"},
        {kTagSymlink, L"target", L"", 6, 4392u},
        {kTagSymlink, L"target", L"", -2, 4392u},
        {0x8000001Bu, L"x", L"", 0, 4390u},
    };
    for (const auto& [tag, substitute, print, size, expected] : rows) {
        const auto data = record(tag, substitute, print);
        auto result = detail::substituteName(data.data(), size > 0 ? size : data.size() + size);
        const Answer answer = result.isOk() ? Answer(result.unwrap()) : Answer(result.unwrapError());
        EXPECT_EQ(answer, expected);
    }
}

using namespace std::chrono_literals;
using Attempts = std::vector<std::pair<uint8_t, OsError>>;
using Sleeps = std::vector<std::chrono::milliseconds>;

class RetryingOperationsTest : public ::testing::Test {
protected:
    FailedAttemptCallback record() {
        return [this](uint8_t attempt, OsError error) { mAttempts.emplace_back(attempt, error); };
    }

    test::ScopedTestClock mClock;
    test::TempFolder mTemp;
    std::shared_ptr<test::FakeSymlinkFilesystem> mLinks = std::make_shared<test::FakeSymlinkFilesystem>();
    test::ScopedFilesystem<test::FakeSymlinkFilesystem> mFs{mLinks};
    foundation::FixedLengthWait mSchedule = foundation::folderStepSchedule();
    Attempts mAttempts;
};

// A plain folder is no link: resolving it fails like the rename onto an occupied folder.
TEST_F(RetryingOperationsTest, PersistentFailureReportsEveryAttemptAndWaitsBetweenThem) {
    auto renamed = tryRename(mTemp.makeFolder(L"client"), mTemp.makeFolder(L"occupied"), record(), mSchedule);
    EXPECT_EQ(renamed.peekError(), OsError{ERROR_ACCESS_DENIED});
    auto schedule = foundation::folderStepSchedule();
    const OsError error = tryResolveSymlinkTarget(mTemp.path(), record(), schedule).peekError();
    Attempts expected;  // five attempts of each, numbered from 1
    for (const OsError failure : {OsError{ERROR_ACCESS_DENIED}, error}) {
        for (uint8_t attempt = 1; attempt <= 5; ++attempt) {
            expected.emplace_back(attempt, failure);
        }
    }
    EXPECT_EQ(mAttempts, expected);
    EXPECT_EQ(mClock->sleeps(), Sleeps(8, 1000ms));
}

TEST_F(RetryingOperationsTest, LinkCreationRetriesAndTheRelativeTargetResolvesAgainstTheLinksParent) {
    const Path install = mTemp.makeFolder(L"install");
    const Path link = install / Path(L"Korv Desktop");
    const Path target(L"..\\versions\\v2\\Korv Desktop");
    mLinks->failLinkCreation(ERROR_PRIVILEGE_NOT_HELD, 2);
    foundation::ExponentialBackoff backoff(5, 100, 2.0f, 1000);
    ASSERT_TRUE(tryCreateDirectorySymlink(target, link, record(), backoff).isOk());
    EXPECT_EQ(mAttempts, (Attempts{{1, ERROR_PRIVILEGE_NOT_HELD}, {2, ERROR_PRIVILEGE_NOT_HELD}}));
    EXPECT_EQ(mClock->sleeps(), (Sleeps{100ms, 200ms})) << "success ends the retries";
    EXPECT_EQ(mLinks->linkCreationAttempts(), 3);

    auto info = tryResolveSymlinkTarget(link, record(), mSchedule).unwrap();
    EXPECT_EQ(info.storedTarget, target);
    EXPECT_EQ(info.resolvedTarget, install / target);
}

using namespace foundation::file;

std::vector<uint8_t> bytesOf(std::string_view text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

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

TEST_F(FilesystemTest, WholeFileWritesReplaceTheContentAndFailuresNameTheirCause) {
    test::ScopedCapturingLogger logger;
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
        logger->clear();
        test::ScopedFilesystem<fs::IFilesystem> scoped(failing ? std::make_shared<FailingStreamFilesystem>()
                                                               : nullptr);
        auto written = writeFile(path, bytesOf("x=2"));
        EXPECT_EQ(written.peekError().error, error);
        EXPECT_EQ(written.peekError().attr, attributes);
        const test::LoggedLine logged{services::logging::Error, "kvx::foundation::file::writeFile",
                                      "Couldn't " + line};
        EXPECT_EQ(logger->lines(), std::vector{logged});
        if (failing) {
            EXPECT_EQ(readFile(file, 100).unwrapError().toString(),
                      "Incomplete read. errorCode[38], fileAttributes[511]");
        }
    }
}

}  // namespace
}  // namespace kvx::fs
