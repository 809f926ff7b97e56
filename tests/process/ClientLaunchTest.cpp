// Starting the client; seams play what Wine lacks: elevation, the shell start's confirmation, sessions.
// Locked modules: Wine's Restart Manager names nobody, so a stand-in feeds the holder walk; modules, probes
// and waits are real.
#include "process/ClientLaunch.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <tuple>

#include "foundation/win/WinUtilsImpl.h"
#include "process/LockedModules.h"
#include "process/Process.h"
#include "process/ProcessTestSupport.h"
#include "process/ProcessUtilsImpl.h"
#include "process/RestartManager.h"
#include "support/Capture.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::apps {
namespace {

using namespace services::process;

const std::string kEnvironment =
    std::string("USERNAME=player") + '\0' + "SystemRoot=" + std::getenv("SystemRoot") + '\0' + '\0';

std::string readText(const std::filesystem::path& file) {
    std::stringstream text;
    text << std::ifstream(file).rdbuf();
    return text.str();
}

// Bad info is refused before anything is created, in the order of the checks (the limit counts UTF-16
// characters). A child gets the block it is given (as UTF-16), with inheritEnv the parent's.
TEST(Process, RefusesBadInfoInOrderAndPassesItsEnvironment) {
    test::ScopedCapturingLogger logger;
    test::TempFolder root;
    const std::string sim = test::simPath(L"KorvDesktop.exe").string(), absent = root.path().utf8() + "\\x";
    const fs::Path record = root.path() / fs::Path(L"starts.txt");
    const std::string run = "--lifetime=0 --record=\"" + record.utf8() + "\" ";
    std::string wide = run;  // 32768 UTF-16 characters in nearly twice as many bytes
    while (wide.size() < 65536 - run.size()) {
        wide += "\xc3\xa9";
    }
    using enum Process::Error;
    const std::tuple<std::string, std::string, std::string, bool, Process::Error, std::string> rows[] = {
        {"", "\xff", "", false, CommandLineInvalid, "Command line parameter contains invalid"},
        {"", "", "", false, ExecutableInvalid, "Executable parameter cannot be empty."},
        {sim, std::string(32769, 'a'), "", false, CommandLineExceedsMaxLength,
         "cannot exceed [32768] characters"},
        {sim, run, absent, false, WorkingDirNotPresent, "Working directory does not exist [" + absent + "]."},
        {sim, run, root.path().utf8(), false, None, "\tuser=player\t"},
        {sim, run, "", true, None, "\tuser=" + std::string(std::getenv("USERNAME")) + "\t"},
        {sim, wide, "", false, None, "\tuser=player\t"},
    };
    for (const auto& [exe, args, dir, inheritEnv, error, line] : rows) {
        SCOPED_TRACE(line);
        logger->clear();
        std::filesystem::remove(record.std());
        const ProcessInfo info{
            .exe = exe, .args = args, .dir = dir, .environment = kEnvironment, .inheritEnv = inheritEnv};
        auto started = Process::createAndRun(info);
        ASSERT_EQ(started.isOk() ? None : started.peekError(), error);
        if (started.isOk()) {
            EXPECT_EQ(WaitForSingleObject(started.peek().processHandle(), 10000),
                      static_cast<DWORD>(WAIT_OBJECT_0));
        }
        EXPECT_TRUE(started.isOk()
                        ? readText(record.std()).find(line) != std::string::npos
                        : logger->count(line) + logger->count("Could not create process [exe=[") == 2);
    }
}

class ElevationSeam final : public ProcessUtilsImpl {
public:
    bool admin = true;
    bool isAdmin() override { return admin; }
    bool waitForProcessRunning(const std::wstring&, int64_t, int64_t) override { return false; }
};

class SessionSeam final : public WinUtils::WinUtilsImpl {
public:
    bool hasSession = true;
    Result<WinUtils::AutoHandle, std::string> getInteractiveSessionUserToken() override {
        if (!hasSession) {
            return Err{std::string("No interactive session found, can't spawn process")};
        }
        // Stands in for the session's token, which Wine lacks: this process's own, as a primary token.
        HANDLE own = nullptr, primary = nullptr;
        OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &own);
        const WinUtils::AutoHandle ownToken(own);
        DuplicateTokenEx(own, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary, &primary);
        return Ok{WinUtils::AutoHandle(primary)};
    }
    Result<std::string, std::string> getUserEnvironment(HANDLE) override { return Ok{kEnvironment}; }
};

class ClientLaunch : public ::testing::Test {
protected:
    // The programs record each start of theirs, and end by themselves.
    void SetUp() override {
        for (const wchar_t* exe : {L"KorvDesktop.exe", L"KorvLaunchHelper.exe"}) {
            test::copySimProgram(mFolder / exe);
            std::ofstream(mFolder / (exe + std::wstring(L".sim")))
                << "lifetime=300\nrecord=" << test::utf8(mRecord);
        }
        setProcessUtils(mElevation);
        WinUtils::setWinUtils(mSession);
    }
    // Once the programs have ended; cleared for the next.
    std::string starts() {
        for (const wchar_t* exe : {L"KorvDesktop.exe", L"KorvLaunchHelper.exe"}) {
            EXPECT_TRUE(mElevation->waitForProcessExit(mFolder / exe, 5000, 20));
        }
        const std::string text = readText(mRecord);
        std::filesystem::remove(mRecord);
        return text;
    }
    void TearDown() override {
        WinUtils::setWinUtils(nullptr);
        setProcessUtils(nullptr);
    }

    test::ScopedConfig mConfig;
    test::ScopedCapturingLogger mLogger;
    test::TempFolder mRoot;
    std::filesystem::path mFolder = (mRoot.path() / fs::Path(L"Korv Desktop")).std();
    std::string mDir = mFolder.string();
    std::shared_ptr<ElevationSeam> mElevation = std::make_shared<ElevationSeam>();
    std::shared_ptr<SessionSeam> mSession = std::make_shared<SessionSeam>();
    std::filesystem::path mRecord = mRoot.path().std() / L"starts.txt";
};

// Elevated, the unconfirmed shell start falls to the session token; else own credentials; missing: none.
TEST_F(ClientLaunch, StartsThroughTheVariantsOfItsElevation) {
    mConfig.set("indev.waitForExecUsingExplorerCred", "true");
    const std::string args = "--lifetime=300 -updateDestagerError=\"7\"";
    const std::string exe = test::utf8(mFolder / L"KorvDesktop.exe");
    const struct {
        bool admin;
        bool hasSession;
        const char* name;
        bool started;
        std::string line;
    } rows[] = {
        {true, true, "KorvDesktop.exe", true,
         "Starting executable [KorvDesktop.exe] with arguments [" + args + "]"},
        {true, false, "KorvDesktop.exe", false,
         "Unable to get interactive session user token [No interactive session found, can't spawn process]"},
        {false, true, "KorvDesktop.exe", true,
         "Starting app with same credentials: path[" + exe + "], args[" + args},
        {true, true, "KorvUpdater.exe", false,
         "Missing executable: '" + test::utf8(mFolder / L"KorvUpdater.exe") + "'"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        mLogger->clear();
        mElevation->admin = row.admin;
        mSession->hasSession = row.hasSession;
        EXPECT_EQ(startExecutable(mDir, row.name, {"--lifetime=300", "-updateDestagerError=\"7\""}, true),
                  row.started);
        EXPECT_EQ(mLogger->count(row.line), 1u);
        const size_t found = std::string_view(row.name) == "KorvDesktop.exe" ? 1 : 0;
        EXPECT_EQ(mLogger->count("Starting executable ["), found);
        // Under the session's token, with its environment: a real CreateProcessAsUserW.
        const std::string underToken = "\tcwd=" + mDir + "\tuser=player\tcmd=\"" + exe + "\" " + args;
        EXPECT_TRUE(row.admin ||
                    waitForProcess(mFolder / L"KorvDesktop.exe", WaitCondition::Running, 5000, 20));
        EXPECT_EQ(starts().find(underToken) != std::string::npos, row.admin && row.started);
    }
}

// What starts after each outcome, with the exact arguments; a failure is logged once the start is over.
TEST_F(ClientLaunch, StartsByAttendanceAndResultWithTheExactArguments) {
    mConfig.set("indev.waitForExecUsingExplorerCred", "true");
    const std::tuple<bool, const char*, int32_t, std::string> rows[] = {
        {true, "", 7, "KorvDesktop.exe -updateDestagerError=\"7\""},
        {false, "", 7, ""},
        {true, "", 0, "KorvDesktop.exe "},
        {true, "a b", 0, "KorvDesktop.exe --launchHelperArgument=\"a b\""},
        {false, "ignored", 0, "KorvLaunchHelper.exe -noclient -ktcuNoSkip"},
    };
    for (const auto& [attended, launchHelperArgument, result, started] : rows) {
        SCOPED_TRACE(started);
        mLogger->clear();
        startClient({.attended = attended, .launchHelperArgument = launchHelperArgument}, result,
                    {mDir, mDir});
        const std::string text = starts();
        const size_t blank = started.find(' ');
        EXPECT_EQ(text.empty(), started.empty());
        EXPECT_TRUE(started.empty() || text.find("\tcmd=\"" + mDir + "\\" + started.substr(0, blank) + "\" " +
                                                 started.substr(blank + 1)) != std::string::npos)
            << text;
        const std::string line = started.starts_with("KorvDesktop") ? "Starting Desktop app, args["
                                                                    : "Starting Launch Helper, args[";
        EXPECT_EQ(mLogger->count(line + started.substr(started.find(' ') + 1) + "]"),
                  started.empty() ? 0u : 1u);
        EXPECT_EQ(mLogger->lines().back().message == "Background update attempt failed, not relaunching",
                  result != 0);
    }
    EXPECT_FALSE(startExecutable("", "KorvDesktop.exe", {}, true));
    EXPECT_EQ(mLogger->count("Missing executable: 'KorvDesktop.exe'"), 1u);
}

using namespace std::chrono_literals;

// Answers `entries` (perhaps more than there is room for: the caller must cut) with `status`.
struct FakeRestartManager final : IRestartManager {
    DWORD status = ERROR_SUCCESS;
    std::vector<RmProcessEntry> entries;
    int sessions = 0;

    DWORD startSession(DWORD& session) override {
        session = static_cast<DWORD>(++sessions);
        return ERROR_SUCCESS;
    }
    DWORD registerFiles(DWORD, const std::vector<std::wstring>&) override { return ERROR_SUCCESS; }
    DWORD getList(DWORD, uint32_t, std::vector<RmProcessEntry>& out) override {
        out = entries;
        return status;
    }
    DWORD endSession(DWORD) override { return ERROR_SUCCESS; }
};

class LockedModules : public ::testing::Test {
protected:
    void SetUp() override { setProcessUtils(std::make_shared<ProcessUtilsImpl>(mRm)); }
    void TearDown() override { setProcessUtils(nullptr); }

    std::filesystem::path file(const wchar_t* name) const { return mFolder.path().std() / name; }
    std::optional<LockReport> find() const {
        return findLockedModule(test::utf8(mFolder.path().std()), modulePatterns());
    }

    test::ScopedTestClock mClock;
    test::ScopedCapturingLogger mLogger;
    test::TempFolder mFolder;
    std::shared_ptr<FakeRestartManager> mRm = std::make_shared<FakeRestartManager>();
};

// No modules: nobody is asked. A loaded DLL names its holder; a held module with none names the destager.
TEST_F(LockedModules, LoadedAndHeldModulesAreReportedWithTheirHolder) {
    std::ofstream(file(L"readme.txt")) << "text";
    EXPECT_FALSE(find().has_value());
    EXPECT_EQ(mRm->sessions, 0);
    std::filesystem::copy_file(test::simPath(L"KorvDesktop.exe"), file(L"KorvDesktop.exe"));
    std::filesystem::copy_file(test::simPath(L"KorvSimModule.dll"), file(L"KorvSimModule.dll"));
    std::ofstream(file(L"held.dll")) << "MZ";
    const WinUtils::AutoHandle held(
        CreateFileW(file(L"held.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.valid());
    test::Child holder = test::startChild(file(L"KorvDesktop.exe"), L"--dll=KorvSimModule.dll");
    const std::string dll = test::utf8(file(L"KorvSimModule.dll"));
    // Real time, short kernel waits: the child loads the DLL on its own.
    for (int i = 0; i < 500 && checkProcessForLoadedModules(holder.pid, {dll}).empty(); ++i) {
        Sleep(10);
    }
    mRm->entries = {{GetCurrentProcessId(), L"destager", 0}, {holder.pid, L"", 0}};
    auto report = find();
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->lockingProcess, "KorvDesktop.exe");
    EXPECT_FALSE(report->isSelf);
    EXPECT_EQ(report->lockedFiles,
              (std::set<std::string>{"KorvSimModule.dll", "KorvDesktop.exe", "held.dll"}));
    holder.kill();
    mRm->entries.clear();
    report = find();
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->lockingProcess, "");
    EXPECT_TRUE(report->isSelf);
    EXPECT_EQ(report->lockedFiles, std::set<std::string>{"held.dll"});
}

// The first three entries count; the destager only when alone; else the process name or placeholder.
TEST_F(LockedModules, TheHolderIsTheFirstOtherProcessElseTheDestagerElseUnnamed) {
    const RmProcessEntry self{GetCurrentProcessId(), L"KorvDestager", 0};
    const struct {
        DWORD status;
        std::vector<RmProcessEntry> entries;
        std::optional<std::string> holder;
        bool isSelf;
    } rows[] = {
        {ERROR_MORE_DATA, {self, self, self, {self.pid + 4, L"Other", 0}}, "KorvDestager", true},
        {ERROR_SUCCESS, {{0xFFFFFF00u, L"\x7ff3", 2}}, "Unnamed Process 7ff3-2", false},
        {ERROR_SUCCESS, {}, std::nullopt, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.holder.value_or("none"));
        mLogger->clear();
        mRm->status = row.status;
        mRm->entries = row.entries;
        std::optional<LockReport> report;
        processUtils().getProcessLockingFiles({"C:\\x\\a.dll"}, false, report);
        ASSERT_EQ(report.has_value(), row.holder.has_value());
        if (report) {
            EXPECT_EQ(report->lockingProcess, *row.holder);
            EXPECT_EQ(report->isSelf, row.isSelf);
            EXPECT_TRUE(report->lockedFiles.empty());
        }
        const bool unnamed = row.holder && row.holder->starts_with("Unnamed");
        EXPECT_EQ(mLogger->count("Failed to get process name for pid[4294967040]"), unnamed ? 1u : 0u);
    }
}

// A running program is found by the client launch tests above.
TEST_F(LockedModules, WaitForProcessPollsOnTheClock) {
    const std::wstring absent = file(L"absent.exe").wstring();
    EXPECT_FALSE(waitForProcess(absent, WaitCondition::Running, 50, 0));
    EXPECT_EQ(mClock->sleeps(), (std::vector<std::chrono::milliseconds>(5, 10ms)));
    test::ScopedAssertCapture asserts;
    EXPECT_FALSE(waitForProcess(absent, static_cast<WaitCondition>(7), 50, 10));
    EXPECT_EQ(asserts.messages(), std::vector<std::string>{"Unknown condition"});
}

// An ERROR_MORE_DATA answer can report more than the room given; rows of pid 0 name nobody.
TEST(RestartManagerList, KeepsAtMostTheRoomAndDropsPidZero) {
    RM_PROCESS_INFO infos[3] = {};
    infos[1].Process.dwProcessId = 42;
    infos[2].Process.dwProcessId = 43;
    const std::tuple<UINT, UINT, std::vector<uint32_t>> rows[] = {
        {3, 3, {42, 43}},  // filled and room agree
        {5, 2, {42}},      // more reported than there was room for
        {1, 3, {}},        // fewer filled than room: only the filled rows count
    };
    for (const auto& [filled, room, expected] : rows) {
        std::vector<uint32_t> got;
        for (const RmProcessEntry& entry : listedProcesses(infos, filled, room)) {
            got.push_back(entry.pid);
        }
        EXPECT_EQ(got, expected) << "filled " << filled << ", room " << room;
    }
}

}  // namespace
}  // namespace kvx::apps
