// The built KorvDestager.exe against a sandbox install of the simulated suite, run the way the
// client runs it: elevated (Wine runs everything as administrator), no arguments, from the
// "Korv Desktop" folder inside the staged folder, with real waits. Each case builds its own
// install below a temporary folder; machine.ini and the loop counters are the prefix's real ones,
// hence the resource locks of this test. The staged client's programs record their starts, so
// what the destager relaunched after the swap can be read back.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <tuple>

#include "DestagerRun.h"
#include "MachineFiles.h"
#include "Sandbox.h"
#include "SandboxFiles.h"
#include "SandboxProcesses.h"
#include "SandboxRegistry.h"
#include "SandboxService.h"
#include "SandboxWaits.h"
#include "destager/LoopCheck.h"
#include "destager/TelemetryRecordDecoding.h"
#include "foundation/registry/RegistryKey.h"
#include "foundation/win/AutoHandle.h"
#include "integration/GameCatalogExtension.h"
#include "kvx/BuildVersion.h"
#include "support/TempFolder.h"

namespace kvx::sandbox {
namespace {

class DestagerEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        mOptions.sources = sourcesInBuild(ownFolder().parent_path());
        mOptions.newVersion = buildFileVersion();
        ASSERT_TRUE(std::filesystem::exists(mOptions.sources.destagerFolder / kDestagerExeName))
            << "the built destager is copied to " << utf8(mOptions.sources.destagerFolder.wstring());
        removeMachineIni();
    }

    void TearDown() override {
        if (HasFailure()) {
            std::cout << "the run's lines of " << utf8(destagerLogPath().wstring()) << ":\n";
            for (const std::string& line : runLogLines()) {
                std::cout << line << "\n";
            }
        }
        auto removed = teardownSandbox(mLayout);
        EXPECT_TRUE(removed.isOk()) << (removed.isOk() ? "" : removed.peekError());
    }

    // The service stopped and no program running: the state a killed run leaves them in.
    void setUpStoppedSuite() {
        mOptions.startService = false;
        mOptions.programs.clear();
        auto done = setupSandbox(mLayout, mOptions);
        ASSERT_TRUE(done.isOk()) << done.peekError();
    }

    DestagerOutcome runStaged(const std::filesystem::path& exe, const std::wstring& arguments = L"") {
        std::error_code absent;
        mLogStart = std::filesystem::file_size(destagerLogPath(), absent);
        auto outcome = runDestager(exe, arguments, 60000);
        EXPECT_TRUE(outcome.isOk()) << (outcome.isOk() ? "" : outcome.peekError());
        return outcome.isOk() ? outcome.unwrap() : DestagerOutcome{-100, 0};
    }
    DestagerOutcome runStaged() { return runStaged(mLayout.stagedDestagerPath); }

    std::string machine(const std::string& key, const char* absent = "<absent>") const {
        const auto keys = readMachineKeys();
        const auto value = keys ? machineValue(*keys, key) : std::nullopt;
        return value ? *value : absent;
    }

    // The lines the run added to the main log (all of it when it rotated).
    std::vector<std::string> runLogLines() const {
        std::ifstream in(destagerLogPath(), std::ios::binary);
        std::error_code absent;
        in.seekg(std::filesystem::file_size(destagerLogPath(), absent) < mLogStart ? 0 : mLogStart);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    // Its WARN, ERROR and FATAL lines (the level column is padded).
    std::vector<std::string> warningLines() const {
        std::vector<std::string> lines = runLogLines();
        std::erase_if(lines, [](const std::string& line) {
            return line.find("\tWARN ") == std::string::npos && line.find("\tERROR ") == std::string::npos &&
                   line.find("\tFATAL ") == std::string::npos;
        });
        return lines;
    }

    // The kinds of this run's telemetry records ("UPEC-2216", ...), oldest first.
    std::vector<std::string> errorCodes() const {
        std::vector<std::string> codes;
        for (const auto& record : apps::decodeDestageErrors(machine("machine.destageerrors", ""))) {
            codes.push_back(record.fields.ecod);
        }
        return codes;
    }

    // The command lines of the programs the destager started after the swap, in start order. The
    // shell starts them after the destager has handed them over: up to ten seconds are given for
    // `expected` of them to appear.
    std::vector<std::string> relaunched(size_t expected = 0) const {
        waitUntil(10000, [&] { return readRelaunches().size() >= expected; });
        return readRelaunches();
    }
    std::vector<std::string> readRelaunches() const {
        std::vector<std::string> commands;
        std::ifstream in(mLayout.installRoot / kStartsFileName, std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            commands.push_back(line.substr(line.find("\tcmd=") + 5));
        }
        return commands;
    }
    std::string clientCommand(const wchar_t* exe, const std::string& arguments) const {
        return "\"" + utf8((mLayout.clientPath / exe).wstring()) + "\" " + arguments;
    }
    void expectRunningFromClient(const wchar_t* exe) {
        const auto programs = runningSuitePrograms();
        EXPECT_TRUE(std::any_of(programs.begin(), programs.end(), [&](const RunningProgram& program) {
            return program.name == exe && isBelow(mLayout.clientPath, program.path);
        })) << utf8(exe) << " is not running";
    }

    // The client folder holds the whole new version, and the recovery shortcut made after the swap.
    void expectNewClientFiles(int stagedFileCount) {
        EXPECT_EQ(clientVersionIn(mLayout.clientPath), fileVersionText(mOptions.newVersion));
        EXPECT_EQ(countFiles(mLayout.clientPath), stagedFileCount + 1);
        EXPECT_TRUE(std::filesystem::exists(mLayout.clientPath / L"App Recovery.lnk"));
    }

    // The client folder holds the whole new version and the client starts from it.
    void expectCompleteNewClient(int stagedFileCount) {
        expectNewClientFiles(stagedFileCount);
        const std::filesystem::path record = mLayout.installRoot.parent_path() / L"client-starts.txt";
        auto started = startProgram(mLayout.clientPath / L"KorvDesktop.exe",
                                    L"--lifetime=20000 --record=\"" + record.wstring() + L"\"");
        ASSERT_TRUE(started.isOk()) << started.peekError();
        EXPECT_TRUE(waitUntil(10000, [&] { return std::filesystem::exists(record); }))
            << "the client did not start";
    }

    uintmax_t mLogStart = 0;
    test::TempFolder mTemp;
    SandboxLayout mLayout = makeLayout((mTemp.path() / fs::Path(L"Korv Desktop")).std()).unwrap();
    SetupOptions mOptions;
};

TEST_F(DestagerEndToEnd, PlainModeUpdateSwapsTheFoldersAndRecordsTheResult) {
    auto done = setupSandbox(mLayout, mOptions);
    ASSERT_TRUE(done.isOk()) << done.peekError();
    ASSERT_EQ(queryService().state, static_cast<DWORD>(SERVICE_RUNNING));
    const int stagedFiles = countFiles(mLayout.stagedClientPath);
    const int oldFiles = countFiles(mLayout.clientPath);

    const DestagerOutcome outcome = runStaged(mLayout.stagedDestagerPath, L"--launchHelperArgument=korv://library");

    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(machine("machine.destageresult"), "0");
    EXPECT_NE(machine("machine.destageduration"), "<absent>");
    EXPECT_EQ(machine("machine.updatepending"), "0");
    EXPECT_EQ(machine("machine.destageattended"), "1");
    expectNewClientFiles(stagedFiles);
    EXPECT_FALSE(std::filesystem::exists(mLayout.stagedClientPath));
    const auto outdated = outdatedFolders(mLayout);
    ASSERT_EQ(outdated.size(), 1u);
    EXPECT_EQ(clientVersionIn(outdated[0]), fileVersionText(mOptions.oldVersion));
    EXPECT_EQ(countFiles(outdated[0]), oldFiles);
    // An install as the installer and the client leave it: nothing to record, nothing to warn about.
    EXPECT_EQ(errorCodes(), std::vector<std::string>{});
    EXPECT_EQ(warningLines(), std::vector<std::string>{});
    // The suite is left unavailable to other launchers.
    EXPECT_EQ(isUnavailableFlag(), 1);

    const LoopCheckValues loop = readLoopCheck();
    EXPECT_EQ(std::tie(loop.targetVersion, loop.updateNumber, loop.sameResults, loop.successful),
              std::make_tuple(std::string(kBuildVersion), 1u, 1u, 1u));
    // The service stays stopped; of the suite only the relaunched client runs, with the launch
    // helper's argument passed through.
    EXPECT_EQ(queryService().state, static_cast<DWORD>(SERVICE_STOPPED));
    // Its registration starts the new client's executable, quoted.
    const std::wstring newService = (mLayout.clientPath / L"KorvBackgroundService.exe").wstring();
    EXPECT_EQ(queryService().imagePath, L"\"" + newService + L"\"");
    EXPECT_EQ(relaunched(1), std::vector<std::string>{clientCommand(L"KorvDesktop.exe",
                                                                   "--launchHelperArgument=\"korv://library\"")});
    expectRunningFromClient(L"KorvDesktop.exe");
    for (const RunningProgram& program : runningSuitePrograms()) {
        EXPECT_TRUE(!isBelow(mLayout.installRoot, program.path) || program.name == L"KorvDesktop.exe")
            << utf8(program.path);
    }
}

// Also a staged file that differs from the archive, reported before and after the swap, and lost
// Uninstall entries: never fatal. (A client folder moved aside by a killed run: CrashMatrix.) Earlier
// runs left three successes for this version today: this fourth one is a loop, after which nothing
// is started.
TEST_F(DestagerEndToEnd, WhatIsMissingOrChangedIsOnlyReportedAndALoopStartsNothing) {
    mOptions.noClientFolder = true;
    mOptions.noUninstallEntry = true;
    setUpStoppedSuite();
    const std::string today = apps::destager::utcDateText(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
    ASSERT_TRUE(writeLoopCheck({true, kBuildVersion, today, 3, 3, 1}));
    std::ofstream(mLayout.stagedClientPath / L"resources" / L"strings.txt", std::ios::app) << "changed\n";
    const int stagedFiles = countFiles(mLayout.stagedClientPath);

    EXPECT_EQ(runStaged().exitCode, 0);

    EXPECT_EQ(machine("machine.destageresult"), "0");
    // Staged file corrupt, destaged file corrupt, then neither Uninstall entry found.
    EXPECT_EQ(errorCodes(), (std::vector<std::string>{"UPEC-2216", "UPEC-2214", "UPEC-4201", "UPEC-4200"}));
    EXPECT_TRUE(outdatedFolders(mLayout).empty());
    EXPECT_EQ(readLoopCheck().sameResults, 4u);
    expectCompleteNewClient(stagedFiles);
    EXPECT_TRUE(relaunched().empty()) << "checked after the client's own start, which takes a while";
}

// The sandbox's stand-in for the first destager holds the event until teardown.
TEST_F(DestagerEndToEnd, SecondInstanceLeavesEverythingAlone) {
    mOptions.destagerRunning = true;
    setUpStoppedSuite();
    const std::optional<std::string> before = readMachineIniText();
    ASSERT_NE(before.value_or("").find("machine.updatepending=1"), std::string::npos);

    EXPECT_EQ(runStaged().exitCode, -3);

    EXPECT_EQ(readMachineIniText(), before);
    EXPECT_EQ(clientVersionIn(mLayout.clientPath), fileVersionText(mOptions.oldVersion));
    EXPECT_TRUE(std::filesystem::exists(mLayout.stagedClientPath));
    EXPECT_FALSE(readLoopCheck().present);
}

// A run killed after both renames leaves a complete new client and no staged client. The client
// stages the update again and starts the destager as usual (here unattended); the leftovers of the killed run must
// not get in the way. (A stale remembered bundle id is found and corrected in RegistrationTest.)
TEST_F(DestagerEndToEnd, RunAfterBothRenamesOfAKilledRunCompletesTheClient) {
    setUpStoppedSuite();
    const std::filesystem::path movedAside =
        mLayout.installRoot / (std::wstring(kOutdatedPrefix) + L"17000000000000000");
    std::filesystem::rename(mLayout.clientPath, movedAside);
    std::filesystem::rename(mLayout.stagedClientPath, mLayout.clientPath);
    ASSERT_EQ(clientVersionIn(mLayout.clientPath), fileVersionText(mOptions.newVersion));
    ASSERT_TRUE(writeStagedUpdate(mLayout, mOptions).isOk());
    const int stagedFiles = countFiles(mLayout.stagedClientPath);

    EXPECT_EQ(runStaged(mLayout.stagedDestagerPath, L"-noclient").exitCode, 0);

    EXPECT_EQ(machine("machine.destageresult"), "0");
    EXPECT_EQ(machine("machine.destageattended"), "0");
    EXPECT_EQ(clientVersionIn(movedAside), fileVersionText(mOptions.oldVersion));
    EXPECT_EQ(outdatedFolders(mLayout).size(), 2u);
    EXPECT_EQ(errorCodes(), std::vector<std::string>{});
    EXPECT_EQ(warningLines(), std::vector<std::string>{});
    // An unattended update brings back the launch helper, never the client.
    EXPECT_EQ(relaunched(1), std::vector<std::string>{clientCommand(L"KorvLaunchHelper.exe", "-noclient -ktcuNoSkip")});
    expectRunningFromClient(L"KorvLaunchHelper.exe");
    expectCompleteNewClient(stagedFiles);
}

// The crash-test build throws once at the named step, as a failed check would (none: a clean run).
// Started from the staged client, from another folder of the staged folder (nothing to apply), or from
// a staged folder of another name (symlink mode).
enum class From { StagedClient, OtherFolder, SymlinkStaged };
struct ThrowRow {
    const wchar_t *step, *arguments;
    const char *result, *clientArguments;
    From from;
};
class DestagerThrows : public DestagerEndToEnd, public ::testing::WithParamInterface<ThrowRow> {};

// Whatever step throws, and after any failure, the run records a result, hands the suite back (the flag
// and the extension, registered from the live client again) and starts the client; a throw is logged.
TEST_P(DestagerThrows, ARunThatThrowsStillRecordsHandsBackAndRelaunches) {
    const auto& [step, arguments, result, clientArguments, from] = GetParam();
    if (from == From::SymlinkStaged) {
        mLayout = makeLayout(mLayout.installRoot, L"StagedKorvDesktop-13.700").unwrap();
    }
    setUpStoppedSuite();
    ASSERT_TRUE(recordRelaunchesFrom(mLayout.clientPath, mLayout.installRoot / kStartsFileName).isOk());
    const bool other = from == From::OtherFolder;
    const std::filesystem::path folder =
        other ? mLayout.stagedFolder / L"Destager" : mLayout.stagedClientPath;
    if (other) {
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(mLayout.stagedClientPath / kDestagerResourceName,
                                   folder / kDestagerResourceName);
        std::filesystem::remove_all(mLayout.stagedClientPath);
    }
    const std::filesystem::path exe = folder / L"KorvDestagerCrashPoints.exe";
    std::filesystem::copy_file(ownFolder().parent_path() / L"sandbox\\crashpoints" / exe.filename(), exe);
    foundation::RegistryKey extension(HKEY_LOCAL_MACHINE, services::comInstall::kStateKeyPath, true, true);
    ASSERT_TRUE(extension.set("State", 2u) && setUnavailableFlag(1));
    const uintmax_t logged =
        std::filesystem::exists(destagerLogPath()) ? std::filesystem::file_size(destagerLogPath()) : 0;

    SetEnvironmentVariableW(L"KVX_TEST_THROW_STEP", step);
    EXPECT_EQ(runStaged(exe, arguments).exitCode, 0);
    SetEnvironmentVariableW(L"KVX_TEST_THROW_STEP", nullptr);

    EXPECT_EQ(machine("machine.destageresult"), result);
    EXPECT_EQ(machine("machine.updatepending"), "0");
    EXPECT_EQ(isUnavailableFlag(), 0);
    EXPECT_EQ(extension.get<uint32_t>("State"), 1u);
    std::vector<std::string> started = relaunched(1);  // without arguments maybe without the blank
    started.push_back(clientCommand(L"KorvDesktop.exe", clientArguments));
    for (std::string& command : started) {
        command.erase(command.find_last_not_of(' ') + 1);
    }
    EXPECT_EQ(started, std::vector<std::string>(2, started.back()));
    std::ifstream log(destagerLogPath(), std::ios::binary);
    log.seekg(static_cast<std::streamoff>(logged));
    const std::string written((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_EQ(written.find("Unhandled exception in step[") != std::string::npos, *step != L'\0');
    if (from == From::SymlinkStaged) {  // Wine makes no link: the read-back catches it, the client stays
        EXPECT_EQ(std::ranges::count(errorCodes(), "UPEC-2221"), 1) << "link not made";
        EXPECT_EQ(clientVersionIn(mLayout.clientPath), fileVersionText(mOptions.oldVersion));
    }
}

constexpr const char* kFailed = "-updateDestagerError=\"1\"";
INSTANTIATE_TEST_SUITE_P(
    Steps, DestagerThrows,
    ::testing::Values(ThrowRow{L"", L"--action=repair", "0", "", From::StagedClient},
                      ThrowRow{L"", L"", "4", "-updateDestagerError=\"4\"", From::OtherFolder},
                      ThrowRow{L"", L"", "30", "-updateDestagerError=\"30\"", From::SymlinkStaged},
                      ThrowRow{L"mainBeforeKeyRepair", L"", "1", kFailed, From::StagedClient},
                      ThrowRow{L"swapBeforeOldClientMove", L"", "1", kFailed, From::StagedClient},
                      ThrowRow{L"mainBeforeLoopCheck", L"", "1", kFailed, From::StagedClient},
                      ThrowRow{L"mainBeforeBookkeeping", L"", "1", kFailed, From::StagedClient},
                      ThrowRow{L"mainBeforeProtocolRepair", L"--action=repair", "0", "",
                               From::StagedClient}));

}  // namespace
}  // namespace kvx::sandbox
