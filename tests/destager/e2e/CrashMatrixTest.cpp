// The crash-consistency matrix: the crash-test build of the destager (KorvDestagerCrashPoints.exe,
// copied into the staged client beside the shipped one) is stopped hard at one named step of the
// update and the prefix restarted (wineboot -r runs the RunOnce entries). A run stopped while the
// client path could be empty has left its way back, which the restart runs; one stopped while the
// install was whole has left none, and the client starts the still pending update again. Then the
// install must be whole: the complete new client at the client path, no way back left, the result
// recorded, and the player's old client kept where the update keeps it (an outdated folder or a
// versioned folder).
//
// Symlink mode cannot be run for real here: Wine reports a directory link as made and makes
// nothing, which the destager reads back and refuses (result 30, DestagerEndToEndTest). The
// symlink rows therefore show what the real exe does under Wine; the steps that need a real link
// at the client path (the swap's and the revert's, partway through the revert's removal too) are
// stopped at through the filesystem seam instead (UpdateOrchestrationTest).
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "CrashStepNames.h"
#include "DestagerRun.h"
#include "MachineFiles.h"
#include "Sandbox.h"
#include "SandboxFiles.h"
#include "SandboxRegistry.h"
#include "foundation/win/AutoHandle.h"
#include "support/TempFolder.h"

namespace kvx::sandbox {
namespace {

using apps::destager::CrashStep;
namespace crash = apps::destager::crash;

constexpr uint32_t kRunTimeoutMs = 60000;
constexpr const wchar_t* kCrashExeName = L"KorvDestagerCrashPoints.exe";
constexpr const wchar_t* kSymlinkStagedName = L"StagedKorvDesktop-13.700";

// A folder held open without delete sharing through the killed run, so that moving it fails and
// its rename retries (for the staged client, until the rollback).
enum class Held { None, Client, Staged };

struct CrashRow {
    const char* name;
    CrashStep step;
    bool symlinkMode;
    Held held;
    // Whether the killed run left its way back, so that the restart finishes the update.
    bool resumedByRestart;
    // What the last run records.
    const char* result;
};

using enum CrashStep;
using enum Held;
const CrashRow kRows[] = {
    {"afterRepairState", afterRepairState, false, None, false, "0"},
    {"swapBeforeOldClientMove", swapBeforeOldClientMove, false, None, false, "0"},
    {"oldClientMoveRetrying", renameRetrying, false, Client, true, "0"},
    {"swapAfterOldClientMove", swapAfterOldClientMove, false, None, true, "0"},
    {"stagedMoveRetrying", renameRetrying, false, Staged, true, "0"},
    // The staged client is gone: the client stages the update again, still pending, and runs it.
    {"swapAfterStagedMove", swapAfterStagedMove, false, None, false, "0"},
    {"afterSwapBeforeRegistration", afterSwapBeforeRegistration, false, None, false, "0"},
    {"rollbackBeforeRestore", rollbackBeforeRestore, false, Staged, true, "0"},
    // The client lies in the versioned folder and the client path is empty; the resumed run cannot
    // link (35) and moves the staged client in as a folder.
    {"migrateAfterMove", migrateAfterMove, true, None, true, "35"},
    {"migrateBeforeMoveBack", migrateBeforeMoveBack, true, None, true, "35"},
};

std::string rowName(const ::testing::TestParamInfo<CrashRow>& info) {
    return info.param.name;
}

std::string fileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
        mHeld.reset();
        // A way back left by a failing row would run at the next test's restart.
        removeResumeEntry();
        if (HasFailure()) {
            std::cout << "log: " << utf8(destagerLogPath().wstring()) << "\n";
        }
        if (mLayout.installRoot.empty()) {
            return;
        }
        auto removed = teardownSandbox(mLayout);
        EXPECT_TRUE(removed.isOk()) << (removed.isOk() ? "" : removed.peekError());
    }

    int32_t run(const std::filesystem::path& exe, const std::wstring& arguments = L"") {
        auto outcome = runDestager(exe, arguments, kRunTimeoutMs);
        EXPECT_TRUE(outcome.isOk()) << (outcome.isOk() ? "" : outcome.peekError());
        return outcome.isOk() ? outcome.unwrap().exitCode : -100;
    }

    // The killed run: the crash-test build from the staged client, told which step to stop at.
    // The held folder stays held until the test lets it go.
    int32_t runStoppedAt(CrashStep step, Held held) {
        const std::filesystem::path exe = mLayout.stagedClientPath / kCrashExeName;
        std::filesystem::copy_file(mCrashExe, exe);
        if (held != Held::None) {
            const auto& folder = held == Held::Client ? mLayout.clientPath : mLayout.stagedClientPath;
            mHeld.reset(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            EXPECT_TRUE(mHeld) << GetLastError();
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

    // Every file of a new client written afresh is alike at the client path (but the simulator's
    // settings, which record starts of the staged client's programs).
    void expectCompleteNewClient() {
        const std::filesystem::path reference = mTemp.path().std() / L"reference";
        ASSERT_TRUE(writeClientFolder(reference, mOptions.sources, mOptions.newVersion).isOk());
        ASSERT_TRUE(copyDestager(reference, mOptions.sources).isOk());
        for (const auto& entry : std::filesystem::recursive_directory_iterator(reference)) {
            const std::filesystem::path relative = std::filesystem::relative(entry.path(), reference);
            EXPECT_TRUE(!entry.is_regular_file() || entry.path().extension() == L".sim" ||
                        fileBytes(entry.path()) == fileBytes(mLayout.clientPath / relative))
                << utf8(relative.wstring());
        }
    }

    // The old client, whole, in an outdated folder or in a versioned folder.
    bool oldClientKept(int oldFiles) const {
        for (const auto& entry : std::filesystem::directory_iterator(mLayout.installRoot)) {
            for (const auto& place : {entry.path(), entry.path() / kClientFolderName}) {
                if (clientVersionIn(place) == fileVersionText(mOptions.oldVersion) &&
                    countFiles(place) == oldFiles) {
                    return true;
                }
            }
        }
        return false;
    }

    test::TempFolder mTemp;
    SandboxLayout mLayout;
    SetupOptions mOptions;
    std::filesystem::path mCrashExe;
    WinUtils::AutoHandle mHeld;
};

TEST_P(CrashMatrix, TheRunAfterAHardStopLeavesAWholeInstall) {
    const CrashRow& row = GetParam();
    const std::filesystem::path root = (mTemp.path() / fs::Path(L"Korv Desktop")).std();
    mLayout = makeLayout(root, row.symlinkMode ? kSymlinkStagedName : kDefaultStagedName).unwrap();
    auto done = setupSandbox(mLayout, mOptions);
    ASSERT_TRUE(done.isOk()) << done.peekError();
    const int oldFiles = countFiles(mLayout.clientPath);

    ASSERT_EQ(static_cast<uint32_t>(runStoppedAt(row.step, row.held)), crash::kCrashExitCode)
        << "the run did not reach the step";
    // The staged destager that was stopped, quoted, with the run's own arguments (none).
    const std::string stoppedRun = "\"" + utf8((mLayout.stagedClientPath / kCrashExeName).wstring()) + "\"";
    EXPECT_EQ(resumeEntry(), row.resumedByRestart ? std::optional(stoppedRun) : std::nullopt);
    mHeld.reset();
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    // Waits for the RunOnce commands it starts.
    run(std::filesystem::path(system) / L"wineboot.exe", L"-r");
    if (!row.resumedByRestart) {
        stageAgainIfGone();
        EXPECT_EQ(run(mLayout.stagedDestagerPath), 0);
    }

    EXPECT_FALSE(resumeEntry().has_value());
    EXPECT_EQ(recordedResult(), row.result);
    EXPECT_EQ(clientVersionIn(mLayout.clientPath), fileVersionText(mOptions.newVersion));
    expectCompleteNewClient();
    EXPECT_TRUE(oldClientKept(oldFiles)) << "the player's old client is lost";
}

INSTANTIATE_TEST_SUITE_P(Steps, CrashMatrix, ::testing::ValuesIn(kRows), rowName);

}  // namespace
}  // namespace kvx::sandbox
