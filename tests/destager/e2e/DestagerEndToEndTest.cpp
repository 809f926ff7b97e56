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
#include <string>

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
#include "foundation/win/AutoHandle.h"
#include "kvx/BuildVersion.h"
#include "support/TempFolder.h"

namespace kvx::sandbox {
namespace {

constexpr int kLogLinesOnFailure = 40;

std::string tailOf(const std::filesystem::path& file, int lines) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> all;
    for (std::string line; std::getline(in, line);) {
        all.push_back(line);
    }
    std::string out;
    for (size_t i = all.size() > static_cast<size_t>(lines) ? all.size() - lines : 0; i < all.size(); ++i) {
        out += all[i] + "\n";
    }
    return out;
}

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
            std::cout << "last lines of " << utf8(destagerLogPath().wstring()) << ":\n"
                      << tailOf(destagerLogPath(), kLogLinesOnFailure);
        }
        auto removed = teardownSandbox(mLayout);
        EXPECT_TRUE(removed.isOk()) << (removed.isOk() ? "" : removed.peekError());
    }

    // The install without service and programs: the state a killed run leaves them in.
    void setUpStoppedSuite() {
        mOptions.startService = false;
        mOptions.programs.clear();
        auto done = setupSandbox(mLayout, mOptions);
        ASSERT_TRUE(done.isOk()) << done.peekError();
    }

    DestagerOutcome runStaged(const std::filesystem::path& exe, const std::wstring& arguments = L"") {
        auto outcome = runDestager(exe, arguments, 60000);
        EXPECT_TRUE(outcome.isOk()) << (outcome.isOk() ? "" : outcome.peekError());
        return outcome.isOk() ? outcome.unwrap() : DestagerOutcome{-100, 0};
    }
    DestagerOutcome runStaged() { return runStaged(mLayout.stagedDestagerPath); }

    std::string machine(const std::string& key) const {
        const auto keys = readMachineKeys();
        const auto value = keys ? machineValue(*keys, key) : std::nullopt;
        return value ? *value : "<absent>";
    }

    // This run's telemetry records, oldest first.
    std::vector<apps::DecodedErrorRecord> errorRecords() const {
        const auto keys = readMachineKeys();
        const auto value = keys ? machineValue(*keys, "machine.destageerrors") : std::nullopt;
        return apps::decodeDestageErrors(value.value_or(""));
    }
    // Their error kinds ("UPEC-2216", ...).
    std::vector<std::string> errorCodes() const {
        std::vector<std::string> codes;
        for (const auto& record : errorRecords()) {
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
    // The staged and destaged files match the archive's CRC-32 values.
    const std::vector<std::string> codes = errorCodes();
    for (const char* validation : {"UPEC-2213", "UPEC-2214", "UPEC-2215", "UPEC-2216"}) {
        EXPECT_EQ(std::count(codes.begin(), codes.end(), validation), 0) << validation;
    }
    // The suite is left unavailable to other launchers, and marking it so never failed.
    EXPECT_EQ(isUnavailableFlag(), 1);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), "UPEC-2208"), 0);
    for (const auto& record : errorRecords()) {
        EXPECT_EQ(record.fields.emsg.find("availability"), std::string::npos) << record.fields.emsg;
    }

    const LoopCheckValues loop = readLoopCheck();
    EXPECT_EQ(loop.targetVersion, kBuildVersion);
    EXPECT_EQ(loop.updateNumber, 1u);
    EXPECT_EQ(loop.sameResults, 1u);
    EXPECT_EQ(loop.successful, 1u);
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

// Started from a folder of the staged folder that is not its client folder: nothing to apply.
TEST_F(DestagerEndToEnd, MissingStagedClientEndsWithFourAndTouchesNothing) {
    mOptions.programs = {L"KorvDesktop.exe"};
    auto done = setupSandbox(mLayout, mOptions);
    ASSERT_TRUE(done.isOk()) << done.peekError();
    const std::filesystem::path destagerFolder = mLayout.stagedFolder / L"Destager";
    std::filesystem::create_directories(destagerFolder);
    std::filesystem::copy_file(mLayout.stagedDestagerPath, destagerFolder / kDestagerExeName);
    std::filesystem::copy_file(mLayout.stagedClientPath / kDestagerResourceName,
                               destagerFolder / kDestagerResourceName);
    std::filesystem::remove_all(mLayout.stagedClientPath);
    // As an earlier run that ended inside the repair state leaves it.
    ASSERT_TRUE(setUnavailableFlag(1));

    EXPECT_EQ(runStaged(destagerFolder / kDestagerExeName).exitCode, 0);

    EXPECT_EQ(machine("machine.destageresult"), "4");
    EXPECT_EQ(isUnavailableFlag(), 0) << "a failed update makes the suite available again";
    EXPECT_EQ(machine("machine.updatepending"), "0");
    EXPECT_EQ(clientVersionIn(mLayout.clientPath), fileVersionText(mOptions.oldVersion));
    EXPECT_TRUE(outdatedFolders(mLayout).empty());
    EXPECT_EQ(queryService().state, static_cast<DWORD>(SERVICE_RUNNING)) << "nothing is stopped";
    EXPECT_EQ(readLoopCheck().successful, 0u);
}

// Also a staged file that differs from the archive: reported before and after the swap, never fatal.
// Earlier runs left three successes for this version today: this fourth one is a loop, after
// which nothing is started.
TEST_F(DestagerEndToEnd, MissingClientFolderAndAChangedFileAreOnlyReportedAndALoopStartsNothing) {
    setUpStoppedSuite();
    const std::string today = apps::destager::utcDateText(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
    ASSERT_TRUE(writeLoopCheck({true, kBuildVersion, today, 3, 3, 1}));
    std::filesystem::remove_all(mLayout.clientPath);
    std::ofstream(mLayout.stagedClientPath / L"resources" / L"strings.txt", std::ios::app) << "changed\n";
    const int stagedFiles = countFiles(mLayout.stagedClientPath);

    EXPECT_EQ(runStaged().exitCode, 0);

    EXPECT_EQ(machine("machine.destageresult"), "0");
    const std::vector<std::string> codes = errorCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), "UPEC-2216"), 1) << "staged file corrupt";
    EXPECT_EQ(std::count(codes.begin(), codes.end(), "UPEC-2214"), 1) << "destaged file corrupt";
    EXPECT_TRUE(outdatedFolders(mLayout).empty());
    EXPECT_EQ(readLoopCheck().sameResults, 4u);
    expectCompleteNewClient(stagedFiles);
    EXPECT_TRUE(relaunched().empty()) << "checked after the client's own start, which takes a while";
}

// After every update the destager's copy lies in the live client folder; started from there (by a
// player, or by support to "repair") it derives the install root as its staged folder.
TEST_F(DestagerEndToEnd, StartFromTheLiveClientEndsWithFourAndTouchesNothing) {
    setUpStoppedSuite();
    for (const wchar_t* name : {kDestagerExeName, kDestagerResourceName}) {
        std::filesystem::copy_file(mLayout.stagedClientPath / name, mLayout.clientPath / name);
    }
    const int clientFiles = countFiles(mLayout.clientPath);

    EXPECT_EQ(runStaged(mLayout.clientPath / kDestagerExeName).exitCode, 0);

    EXPECT_EQ(machine("machine.destageresult"), "4");
    EXPECT_EQ(clientVersionIn(mLayout.clientPath), fileVersionText(mOptions.oldVersion));
    EXPECT_EQ(countFiles(mLayout.clientPath), clientFiles);
    EXPECT_TRUE(std::filesystem::exists(mLayout.stagedClientPath));
    EXPECT_TRUE(outdatedFolders(mLayout).empty());
}

// Any staged folder name but the plain one selects symlink mode. Wine 8 reports the client link as
// made and makes nothing: the read-back catches it, and the client goes back to its folder.
TEST_F(DestagerEndToEnd, SymlinkModeUpdateWhoseLinkIsNotMadeKeepsTheClient) {
    mLayout = makeLayout(mLayout.installRoot, L"StagedKorvDesktop-13.700").unwrap();
    setUpStoppedSuite();
    const int clientFiles = countFiles(mLayout.clientPath);

    EXPECT_EQ(runStaged().exitCode, 0);

    EXPECT_EQ(machine("machine.destageresult"), "30");
    const std::vector<std::string> codes = errorCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), "UPEC-2221"), 1) << "link not made";
    EXPECT_EQ(clientVersionIn(mLayout.clientPath), fileVersionText(mOptions.oldVersion));
    EXPECT_EQ(countFiles(mLayout.clientPath), clientFiles);
    EXPECT_TRUE(std::filesystem::exists(mLayout.stagedClientPath));
}

// An unattended update brings back the launch helper, never the client.
TEST_F(DestagerEndToEnd, UnattendedUpdateRelaunchesTheLaunchHelper) {
    setUpStoppedSuite();
    EXPECT_EQ(runStaged(mLayout.stagedDestagerPath, L"-noclient").exitCode, 0);
    EXPECT_EQ(machine("machine.destageresult"), "0");
    EXPECT_EQ(machine("machine.destageattended"), "0");
    EXPECT_EQ(relaunched(1), std::vector<std::string>{clientCommand(L"KorvLaunchHelper.exe", "-noclient -ktcuNoSkip")});
    expectRunningFromClient(L"KorvLaunchHelper.exe");
}

TEST_F(DestagerEndToEnd, SecondInstanceLeavesEverythingAlone) {
    setUpStoppedSuite();
    std::filesystem::create_directories(commonDataFolder());
    const std::string before = "machine.destageresult=77\nmachine.updatepending=1";
    std::ofstream(machineIniPath(), std::ios::binary) << before;
    WinUtils::AutoHandle running(CreateEventW(nullptr, TRUE, TRUE, L"Global\\Korvapp::UpdateInProgress"));
    ASSERT_TRUE(running);

    EXPECT_EQ(runStaged().exitCode, -3);

    EXPECT_EQ(readMachineIniText().value_or("<absent>"), before);
    EXPECT_EQ(clientVersionIn(mLayout.clientPath), fileVersionText(mOptions.oldVersion));
    EXPECT_TRUE(std::filesystem::exists(mLayout.stagedClientPath));
    EXPECT_FALSE(readLoopCheck().present);
}

}  // namespace
}  // namespace kvx::sandbox
