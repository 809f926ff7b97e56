#include "destager/StagedFileValidation.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "destager/TelemetryRecordDecoding.h"
#include "foundation/Singleton.h"
#include "foundation/archive/ZipTestArchive.h"
#include "foundation/win/AutoHandle.h"
#include "framework/config/ConfigSystem.h"
#include "support/Capture.h"
#include "support/TestClock.h"
#include "support/Utf8Path.h"

namespace kvx::apps {
namespace {

using test::utf8;

namespace stdfs = std::filesystem;
using config::ConfigSystem;
using foundation::utils::Singleton;
using test::TestZipEntry;

constexpr const char* kFunction = "kvx::apps::tryValidateStagedFiles";

// Real files in a temporary install layout: <install>\StagedKorvDesktop\Korv Desktop\... and the
// archive <install>\StagedKorvDesktop.zip whose entry names are relative to the staged folder.
class StagedFileValidationTest : public ::testing::Test {
protected:
    StagedFileValidationTest()
        : mInstall(stdfs::temp_directory_path() /
                   ("kvx-validation-" + std::to_string(GetCurrentProcessId()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name())),
          mStaged(mInstall / "StagedKorvDesktop"),
          mZip(mInstall / "StagedKorvDesktop.zip"),
          mConfig(Singleton<ConfigSystem>::create()) {
        stdfs::remove_all(mInstall);
        stdfs::create_directories(mStaged / "Korv Desktop");
        mConfig.set(config::Store::Ordinary, "machine.telemetry.updateCorrelationId", "id", config::kScopeMachine);
    }
    ~StagedFileValidationTest() override {
        Singleton<ConfigSystem>::destroy();
        std::error_code ignored;
        stdfs::remove_all(mInstall, ignored);
    }

    static void writeBytes(const stdfs::path& path, const std::string& content) {
        stdfs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
    // Writes the archive and unpacks its regular files as they are.
    void stage(const std::vector<TestZipEntry>& entries) {
        auto zip = test::buildTestZip(entries);
        writeBytes(mZip, std::string(zip.bytes.begin(), zip.bytes.end()));
        for (const TestZipEntry& entry : entries) {
            if (entry.externalAttributes == test::kUnixRegularFile && entry.name.back() != '/') {
                writeBytes(mStaged / stdfs::u8path(entry.name), entry.data);
            }
        }
    }
    void validate(bool destaged) {
        tryValidateStagedFiles(fs::Path(mStaged / "Korv Desktop"), fs::Path(mZip), destaged);
    }
    // The messages of the telemetry lines logged so far.
    std::vector<std::string> reports() {
        std::vector<std::string> messages;
        for (const auto& line : mLogger->linesContaining("UPEC-")) {
            EXPECT_EQ(line.level, services::logging::Warn);
            messages.push_back(line.message);
        }
        return messages;
    }
    std::vector<DecodedErrorRecord> records() {
        return decodeDestageErrors(mConfig.getString("machine.destageErrors", ""));
    }

    stdfs::path mInstall;
    stdfs::path mStaged;
    stdfs::path mZip;
    ConfigSystem& mConfig;
    test::ScopedTestClock mClock;
    test::ScopedCapturingLogger mLogger;
};

std::vector<TestZipEntry> clientFiles() {
    return {{"Korv Desktop/", "", test::kUnixDirectory},
            {"Korv Desktop/KorvDesktop.exe", std::string(70000, 'k')},
            {"Korv Desktop/plugins/", "", test::kMsDosDirectory},
            {"Korv Desktop/plugins/net.dll", "network code"},
            {"Korv Desktop/current", "plugins", test::kUnixSymlink},
            {"Korv Desktop/readme.txt", "read me"}};
}

TEST_F(StagedFileValidationTest, MatchingFilesGiveNoTelemetry) {
    stage(clientFiles());
    validate(false);
    EXPECT_TRUE(reports().empty());
    EXPECT_FALSE(mConfig.contains("machine.destageErrors"));
    EXPECT_EQ(
        mLogger->linesContaining("Validating contents of path["),
        (std::vector<test::LoggedLine>{{services::logging::Info, kFunction,
                                        "Validating contents of path[" + utf8(mStaged / "Korv Desktop") +
                                            "] against zip[" + utf8(mZip) + "]"}}));
}

TEST_F(StagedFileValidationTest, CorruptAndMissingFilesAreReportedWithTheCodeOfTheStep) {
    stage(clientFiles());
    writeBytes(mStaged / "Korv Desktop" / "readme.txt", "read mE");
    stdfs::remove(mStaged / "Korv Desktop" / "plugins" / "net.dll");
    validate(false);
    validate(true);
    EXPECT_EQ(reports(),
              (std::vector<std::string>{"UPEC-2215: Staged file missing, file[Korv Desktop/plugins/net.dll]",
                                        "UPEC-2216: Staged file corrupt, file[Korv Desktop/readme.txt]",
                                        "UPEC-2213: Staged file missing, file[Korv Desktop/plugins/net.dll]",
                                        "UPEC-2214: Staged file corrupt, file[Korv Desktop/readme.txt]"}));
    auto all = records();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[1].fields.ecod, "UPEC-2216");
    EXPECT_EQ(all[1].fields.esev, "warning");
    EXPECT_EQ(all[3].fields.ecod, "UPEC-2214");
}

TEST_F(StagedFileValidationTest, SevenMissingFilesGiveFiveReports) {
    std::vector<TestZipEntry> entries;
    for (int i = 0; i < 7; ++i) {
        entries.push_back({"Korv Desktop/lib" + std::to_string(i) + ".dll", "content " + std::to_string(i)});
    }
    entries.push_back({"Korv Desktop/changed.txt", "original"});
    stage(entries);
    for (int i = 0; i < 7; ++i) {
        stdfs::remove(mStaged / "Korv Desktop" / ("lib" + std::to_string(i) + ".dll"));
    }
    writeBytes(mStaged / "Korv Desktop" / "changed.txt", "modified");
    validate(false);
    const auto lines = reports();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[4], "UPEC-2215: Staged file missing, file[Korv Desktop/lib4.dll]");
    EXPECT_EQ(records().size(), 5u);
}

TEST_F(StagedFileValidationTest, EntryWithCrcZeroIsNeverChecked) {
    stage({{"Korv Desktop/empty.log", ""}, {"Korv Desktop/a.txt", "a"}});
    stdfs::remove(mStaged / "Korv Desktop" / "empty.log");
    validate(false);
    EXPECT_TRUE(reports().empty());
}

TEST_F(StagedFileValidationTest, DestagerEntriesAreSkippedOnlyAfterTheSwap) {
    stage({{"DestagerTools/KorvDestager.exe", "destager"}, {"destager.cfg", "cfg"}, {"Korv Desktop/a.txt", "a"}});
    stdfs::remove_all(mStaged / "DestagerTools");
    stdfs::remove(mStaged / "destager.cfg");
    validate(true);
    EXPECT_TRUE(reports().empty());
    validate(false);
    EXPECT_EQ(reports(), (std::vector<std::string>{
                             "UPEC-2215: Staged file missing, file[DestagerTools/KorvDestager.exe]",
                             "UPEC-2215: Staged file missing, file[destager.cfg]"}));
}

TEST_F(StagedFileValidationTest, NamesLeavingTheFolderAreReportedMissingAndNeverOpened) {
    // Each named file exists with the archived content, so only a refusal to look there reports it.
    writeBytes(mInstall / "outside.txt", "outside");
    const std::string absolute = utf8((mInstall / "outside.txt").generic_string());
    // A name that is no UTF-8 names no file to look for (it is archived only: no such file can be made).
    const std::string notUtf8 = "Korv Desktop/bad\xff.txt";
    stage({{"Korv Desktop/../../outside.txt", "outside"},
           {absolute, "outside"},
           {"Korv Desktop/a.txt", "a"},
           {notUtf8, "x", 0x20}});
    validate(false);
    EXPECT_EQ(reports(), (std::vector<std::string>{
                             "UPEC-2215: Staged file missing, file[Korv Desktop/../../outside.txt]",
                             "UPEC-2215: Staged file missing, file[" + absolute + "]",
                             "UPEC-2215: Staged file missing, file[" + notUtf8 + "]"}));
}

TEST_F(StagedFileValidationTest, FileThatCannotBeOpenedIsNotReported) {
    stage(clientFiles());
    writeBytes(mStaged / "Korv Desktop" / "readme.txt", "changed but locked");
    WinUtils::AutoHandle locked(CreateFileW((mStaged / "Korv Desktop" / "readme.txt").wstring().c_str(),
                                            GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                            nullptr));
    ASSERT_TRUE(locked.valid());
    validate(false);
    locked.reset();
    EXPECT_TRUE(reports().empty());
    validate(false);
    EXPECT_EQ(reports().size(), 1u);  // the same file, once readable, is found corrupt
}

TEST_F(StagedFileValidationTest, NoArchiveMeansOneInfoLineAndNothingElse) {
    validate(false);
    const auto lines = mLogger->lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1],
              (test::LoggedLine{services::logging::Info, kFunction,
                                "Skipping validation, zip file does not exist at path[" + utf8(mZip) + "]"}));
}

TEST_F(StagedFileValidationTest, UnreadableOrDamagedArchivesEndValidationWithOneError) {
    writeBytes(mZip, "");
    validate(false);
    EXPECT_EQ(mLogger->linesContaining("Failed to read zip file["),
              (std::vector<test::LoggedLine>{
                  {services::logging::Error, kFunction, "Failed to read zip file[" + utf8(mZip) + "]"}}));

    writeBytes(mZip, std::string(5000, 'z'));
    validate(false);
    const auto damaged = mLogger->linesContaining("Failed to process zip file data");
    ASSERT_EQ(damaged.size(), 1u);
    EXPECT_EQ(damaged[0].message,
              "Failed to process zip file data, file[" + utf8(mZip) + "], error[ParseError]");
    EXPECT_TRUE(reports().empty());
}

TEST_F(StagedFileValidationTest, ArchivesOverTheSizeLimitAreNotRead) {
    // Only the tail and directory are read, yet the size limit of a whole-archive read still applies.
    auto zip = test::buildTestZip({{"Korv Desktop/missing.txt", "m"}});
    const uint64_t limit = 524'288'000;
    for (uint64_t size : {limit, limit + 1}) {
        writeBytes(mZip, std::string(zip.bytes.begin(), zip.bytes.end()));
        stdfs::resize_file(mZip, size);  // sparse zeros after the end record
        validate(false);
    }
    // At the limit the file is read: its tail holds only zeros, so no end record is found.
    EXPECT_EQ(mLogger->linesContaining("Failed to process zip file data").size(), 1u);
    EXPECT_EQ(mLogger->linesContaining("Failed to read zip file["),
              (std::vector<test::LoggedLine>{
                  {services::logging::Error, kFunction, "Failed to read zip file[" + utf8(mZip) + "]"}}));
    EXPECT_TRUE(reports().empty());
}

}  // namespace
}  // namespace kvx::apps
