// The crash-consistency matrix: the crash-test build of the destager (KorvDestagerCrashPoints.exe,
// copied into the staged client beside the shipped one) is stopped hard at one named step of the
// update, then the shipped destager runs as the client would start it next, and the install must be
// whole: a complete client at the client path, the result recorded, and the player's old client
// kept where the update keeps it (an outdated folder, a versioned folder or the client path).
//
// Symlink mode cannot be run for real here: Wine reports a directory link as made and makes
// nothing, which the destager reads back and refuses (result 30). The symlink rows therefore show
// what the real exe does under Wine, that the client is never left missing after the clean run;
// steps that need a real link at the client path (the swap's and the revert's) are never reached
// here, which their rows assert, so a Wine that makes links shows up as a failing row.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "CrashStepNames.h"
#include "DestagerRun.h"
#include "MachineFiles.h"
#include "Sandbox.h"
#include "SandboxFiles.h"
#include "foundation/archive/ZipCentralDirectory.h"
#include "foundation/win/AutoHandle.h"
#include "support/TempFolder.h"
#include "zipwriter/ZipWriter.h"

namespace kvx::sandbox {
namespace {

using apps::destager::CrashStep;
namespace crash = apps::destager::crash;

constexpr uint32_t kRunTimeoutMs = 60000;
constexpr const wchar_t* kCrashExeName = L"KorvDestagerCrashPoints.exe";
constexpr const wchar_t* kSymlinkStagedName = L"StagedKorvDesktop-13.700";

enum class ClientAfter { New, Old };

struct CrashRow {
    CrashStep step;
    bool symlinkMode;
    // False for the steps only a real directory link leads to.
    bool reachedUnderWine;
    // Holds the staged client open without delete sharing through the killed run, so that moving
    // it in fails and the rollback runs.
    bool stagedMoveFails;
    // What the clean run records and leaves at the client path.
    const char* result;
    ClientAfter client;
};

const CrashRow kRows[] = {
    {CrashStep::swapBeforeOldClientMove, false, true, false, "0", ClientAfter::New},
    {CrashStep::swapAfterOldClientMove, false, true, false, "0", ClientAfter::New},
    // The staged client is gone: the client stages the update again, still pending, and runs it.
    {CrashStep::swapAfterStagedMove, false, true, false, "0", ClientAfter::New},
    {CrashStep::rollbackBeforeRestore, false, true, true, "0", ClientAfter::New},
    // The client lies in the versioned folder and the client path is empty; the clean run cannot
    // link (35) and moves the staged client in as a folder.
    {CrashStep::migrateAfterMove, true, true, false, "35", ClientAfter::New},
    {CrashStep::migrateBeforeMoveBack, true, true, false, "35", ClientAfter::New},
    // Both runs fail the migration's link (30) and move the client back.
    {CrashStep::symlinkSwapAfterUnlink, true, false, false, "30", ClientAfter::Old},
    // No link to revert: the killed run completes a plain update, the clean run one more.
    {CrashStep::revertAfterUnlink, false, false, false, "0", ClientAfter::New},
};

std::string rowName(const ::testing::TestParamInfo<CrashRow>& info) {
    return utf8(std::wstring(crash::crashStepName(info.param.step)));
}

std::string fileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ArchiveEntry {
    std::string pathInClient;
    uint32_t crc32;
};

// The archive's files, named below the client folder ("Korv Desktop/<path>" in the archive).
std::vector<ArchiveEntry> archiveFiles(const std::filesystem::path& zip) {
    const std::string bytes = fileBytes(zip);
    auto readRange =
        [&](const std::string&,
            const archive::FileOffsets& range) -> Result<std::vector<uint8_t>, archive::FileRangeError> {
        if (range.first > range.last || range.last >= bytes.size()) {
            return Err(archive::FileRangeError{"outside the archive"});
        }
        return Ok(std::vector<uint8_t>(bytes.begin() + range.first, bytes.begin() + range.last + 1));
    };
    // The whole archive is read as its tail.
    auto entries = archive::listZipEntries(readRange, {"", bytes.size(), bytes.size()});
    std::vector<ArchiveEntry> files;
    if (entries.isError()) {
        return files;
    }
    for (const archive::ZipFileInfo& entry : entries.peek()) {
        const size_t slash = entry.fileName.find('/');
        if (!archive::isDirectory(entry) && slash != std::string::npos) {
            files.push_back({std::string(entry.fileName.substr(slash + 1)), entry.crc32});
        }
    }
    return files;
}

class CrashMatrix : public ::testing::TestWithParam<CrashRow> {
protected:
    void SetUp() override {
        mOptions.sources = sourcesInBuild(ownFolder().parent_path());
        mOptions.newVersion = buildFileVersion();
        mOptions.startService = false;
        mOptions.programs.clear();
        mCrashExe = ownFolder().parent_path() / L"sandbox" / L"crashpoints" / kCrashExeName;
        ASSERT_TRUE(std::filesystem::exists(mCrashExe)) << utf8(mCrashExe.wstring());
        removeMachineIni();
    }

    void TearDown() override {
        if (HasFailure()) {
            std::cout << "log: " << utf8(destagerLogPath().wstring()) << "\n";
        }
        if (mLayout.installRoot.empty()) {
            return;
        }
        auto removed = teardownSandbox(mLayout);
        EXPECT_TRUE(removed.isOk()) << (removed.isOk() ? "" : removed.peekError());
    }

    int32_t run(const std::filesystem::path& exe) {
        auto outcome = runDestager(exe, L"", kRunTimeoutMs);
        EXPECT_TRUE(outcome.isOk()) << (outcome.isOk() ? "" : outcome.peekError());
        return outcome.isOk() ? outcome.unwrap().exitCode : -100;
    }

    // The killed run: the crash-test build from the staged client, told which step to stop at.
    int32_t runStoppedAt(CrashStep step, bool stagedMoveFails) {
        const std::filesystem::path exe = mLayout.stagedClientPath / kCrashExeName;
        std::filesystem::copy_file(mCrashExe, exe);
        WinUtils::AutoHandle held;
        if (stagedMoveFails) {
            held.reset(CreateFileW(mLayout.stagedClientPath.c_str(), FILE_LIST_DIRECTORY,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            EXPECT_TRUE(held) << GetLastError();
        }
        SetEnvironmentVariableW(crash::kCrashStepVariable, std::wstring(crash::crashStepName(step)).c_str());
        const int32_t exitCode = run(exe);
        SetEnvironmentVariableW(crash::kCrashStepVariable, nullptr);
        return exitCode;
    }

    // A run stopped after the staged client moved in leaves nothing to apply: the update is still
    // pending, so the client downloads and stages it again.
    void stageAgainIfGone() {
        if (std::filesystem::exists(mLayout.stagedClientPath)) {
            return;
        }
        ASSERT_TRUE(writeStagedUpdate(mLayout, mOptions).isOk());
    }

    std::string recordedResult() const {
        const auto keys = readMachineKeys();
        const auto value = keys ? machineValue(*keys, "machine.destageresult") : std::nullopt;
        return value ? *value : "<absent>";
    }

    void expectEveryArchiveFileInClient(const std::vector<ArchiveEntry>& files) {
        ASSERT_FALSE(files.empty());
        for (const ArchiveEntry& file : files) {
            const std::filesystem::path path = mLayout.clientPath / wide(file.pathInClient);
            ASSERT_TRUE(std::filesystem::is_regular_file(path)) << file.pathInClient;
            EXPECT_EQ(zipwriter::crc32Of(fileBytes(path)), file.crc32) << file.pathInClient;
        }
    }

    // The old client, whole, at the client path, in an outdated folder or in a versioned folder.
    bool oldClientKept(int oldFiles) const {
        std::vector<std::filesystem::path> places{mLayout.clientPath};
        for (const auto& entry : std::filesystem::directory_iterator(mLayout.installRoot)) {
            places.push_back(entry.path());
            places.push_back(entry.path() / kClientFolderName);
        }
        for (const std::filesystem::path& place : places) {
            if (std::filesystem::is_directory(place) &&
                clientVersionIn(place) == fileVersionText(mOptions.oldVersion) &&
                countFiles(place) == oldFiles) {
                return true;
            }
        }
        return false;
    }

    test::TempFolder mTemp;
    SandboxLayout mLayout;
    SetupOptions mOptions;
    std::filesystem::path mCrashExe;
};

TEST_P(CrashMatrix, CleanRunAfterAHardStopLeavesAWholeInstall) {
    const CrashRow& row = GetParam();
    const std::filesystem::path root = (mTemp.path() / fs::Path(L"Korv Desktop")).std();
    mLayout = makeLayout(root, row.symlinkMode ? kSymlinkStagedName : kDefaultStagedName).unwrap();
    auto done = setupSandbox(mLayout, mOptions);
    ASSERT_TRUE(done.isOk()) << done.peekError();
    const int oldFiles = countFiles(mLayout.clientPath);

    const int32_t stopped = runStoppedAt(row.step, row.stagedMoveFails);
    if (row.reachedUnderWine) {
        ASSERT_EQ(static_cast<uint32_t>(stopped), crash::kCrashExitCode) << "the run did not reach the step";
    } else {
        ASSERT_EQ(stopped, 0) << "a step that needs a real directory link was reached";
    }
    stageAgainIfGone();
    // The archive the clean run applies.
    const std::vector<ArchiveEntry> files = archiveFiles(mLayout.zipPath);
    EXPECT_EQ(run(mLayout.stagedDestagerPath), 0);

    EXPECT_EQ(recordedResult(), row.result);
    if (row.client == ClientAfter::New) {
        EXPECT_EQ(clientVersionIn(mLayout.clientPath), fileVersionText(mOptions.newVersion));
        expectEveryArchiveFileInClient(files);
    } else {
        EXPECT_EQ(clientVersionIn(mLayout.clientPath), fileVersionText(mOptions.oldVersion));
        EXPECT_EQ(countFiles(mLayout.clientPath), oldFiles);
    }
    EXPECT_TRUE(oldClientKept(oldFiles)) << "the player's old client is lost";
}

INSTANTIATE_TEST_SUITE_P(Steps, CrashMatrix, ::testing::ValuesIn(kRows), rowName);

}  // namespace
}  // namespace kvx::sandbox
