// Starting the client; seams play what Wine lacks: elevation, the shell start's confirmation, sessions.
#include "process/ClientLaunch.h"

#include <gtest/gtest.h>

#include <windows.h>

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
#include "support/Capture.h"
#include "support/TempFolder.h"

namespace kvx::apps {
namespace {

using namespace services::process;

const std::string kEnvironment("USERNAME=player\0\0", 17);

// Bad info is refused before anything is created, in the order of the checks (the limit counts UTF-16
// characters). A child under a token gets the block it is given (as UTF-16), with inheritEnv the parent's.
TEST(Process, RefusesBadInfoInOrderAndStartsUnderATokenWithItsEnvironment) {
    test::ScopedCapturingLogger logger;
    test::TempFolder root;
    const std::string sim = test::simPath(L"KorvDesktop.exe").string(), absent = root.path().utf8() + "\\x";
    const fs::Path record = root.path() / fs::Path(L"starts.txt");
    const std::string run = "--lifetime=0 --record=\"" + record.utf8() + "\" ";
    // Stands in for the interactive session's token, which Wine lacks: this process's own, as primary.
    HANDLE own = nullptr, primary = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &own));
    const WinUtils::AutoHandle ownToken(own);
    ASSERT_TRUE(
        DuplicateTokenEx(own, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary, &primary));
    const WinUtils::AutoHandle token(primary);
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
        ProcessInfo info{
            .exe = exe, .args = args, .dir = dir, .inheritEnv = inheritEnv, .userToken = token.get()};
        info.environment =
            std::string("USERNAME=player") + '\0' + "SystemRoot=" + std::getenv("SystemRoot") + '\0';
        auto started = Process::createAndRun(info);
        ASSERT_EQ(started.isOk() ? None : started.peekError(), error);
        if (started.isOk()) {
            EXPECT_EQ(WaitForSingleObject(started.peek().processHandle(), 10000),
                      static_cast<DWORD>(WAIT_OBJECT_0));
        }
        std::stringstream recorded;
        recorded << std::ifstream(record.std()).rdbuf();
        EXPECT_TRUE(started.isOk()
                        ? recorded.str().find(line) != std::string::npos
                        : logger->linesContaining(line).size() +
                                  logger->linesContaining("Could not create process [exe=[").size() ==
                              2);
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
        HANDLE token = nullptr;
        OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
        return Ok{WinUtils::AutoHandle(token)};
    }
    Result<std::string, std::string> getUserEnvironment(HANDLE) override { return Ok{kEnvironment}; }
};

class RecordedProcess final : public Process::Impl {
public:
    explicit RecordedProcess(std::optional<ProcessInfo>& record) : mRecord(record) {}
    Process::Error createProcess(const ProcessInfo& info) override {
        mRecord = info;
        mState = Process::State::Suspended;
        return Process::Error::None;
    }
    Process::Error run() override {
        mState = Process::State::Running;
        return Process::Error::None;
    }
    Process::Error terminate() override { return Process::Error::None; }
    const ProcessInfo& info() const override { return *mRecord; }
    void cleanup() override {}
    uint32_t processId() const override { return 0; }
    void* processHandle() const override { return nullptr; }
    void* threadHandle() const override { return nullptr; }
    void runWait(const Process::OutputCallback&) override {}

private:
    std::optional<ProcessInfo>& mRecord;
};

class ClientLaunch : public ::testing::Test {
protected:
    void SetUp() override {
        test::copySimProgram(mFolder / L"KorvDesktop.exe");
        setProcessUtils(mElevation);
        WinUtils::setWinUtils(mSession);
        Process::setImplFactory([this] { return std::make_unique<RecordedProcess>(mStarted); });
    }
    void TearDown() override {
        Process::setImplFactory(nullptr);
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
    std::optional<ProcessInfo> mStarted;
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
        {true, true, "KorvLaunchHelper.exe", false,
         "Missing executable: '" + test::utf8(mFolder / L"KorvLaunchHelper.exe") + "'"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        mLogger->clear();
        mStarted.reset();
        mElevation->admin = row.admin;
        mSession->hasSession = row.hasSession;
        EXPECT_EQ(startExecutable(mDir, row.name, {"--lifetime=300", "-updateDestagerError=\"7\""}, true),
                  row.started);
        EXPECT_EQ(mLogger->linesContaining(row.line).size(), 1u);
        const size_t found = std::string_view(row.name) == "KorvDesktop.exe" ? 1 : 0;
        EXPECT_EQ(mLogger->linesContaining("Starting executable [").size(), found);
        ASSERT_EQ(mStarted.has_value(), row.admin && row.started);
        if (mStarted) {
            EXPECT_EQ(std::tie(mStarted->exe, mStarted->args, mStarted->dir, mStarted->environment),
                      std::tie(exe, args, mDir, kEnvironment));
            EXPECT_TRUE(mStarted->userToken != nullptr && !mStarted->inheritEnv);
        }
        const std::wstring path = mFolder / L"KorvDesktop.exe";
        EXPECT_TRUE(row.admin || waitForProcess(path, WaitCondition::Running, 5000, 20));
        EXPECT_TRUE(mElevation->waitForProcessExit(path, 5000, 20));
    }
}

// What starts after each outcome, with the exact arguments; a failure is logged once the start is over.
TEST_F(ClientLaunch, StartsByAttendanceAndResultWithTheExactArguments) {
    mConfig.set("indev.waitForExecUsingExplorerCred", "true");
    test::copySimProgram(mFolder / L"KorvLaunchHelper.exe");
    for (const wchar_t* sim : {L"KorvDesktop.exe.sim", L"KorvLaunchHelper.exe.sim"}) {
        std::ofstream(mFolder / sim) << "lifetime=300\n";
    }
    const std::tuple<bool, const char*, int32_t, std::string> rows[] = {
        {true, "", 7, "KorvDesktop.exe -updateDestagerError=\"7\""},
        {false, "", 7, ""},
        {true, "", 0, "KorvDesktop.exe "},
        {true, "a b", 0, "KorvDesktop.exe --launchHelperArgument=\"a b\""},
        {false, "ignored", 0, "KorvLaunchHelper.exe -noclient -ktcuNoSkip"},
    };
    for (const auto& [attended, launchHelperArgument, result, started] : rows) {
        SCOPED_TRACE(started);
        mStarted.reset();
        mLogger->clear();
        startClient({.attended = attended, .launchHelperArgument = launchHelperArgument}, result,
                    {mDir, mDir});
        for (const wchar_t* exe : {L"KorvDesktop.exe", L"KorvLaunchHelper.exe"}) {
            EXPECT_TRUE(mElevation->waitForProcessExit(mFolder / exe, 5000, 20));
        }
        EXPECT_EQ(mStarted
                      ? fs::Path::fromUtf8(mStarted->exe).std().filename().string() + " " + mStarted->args
                      : "",
                  started);
        const std::string line = started.starts_with("KorvDesktop") ? "Starting Desktop app, args["
                                                                    : "Starting Launch Helper, args[";
        EXPECT_EQ(mLogger->linesContaining(line + started.substr(started.find(' ') + 1) + "]").size(),
                  started.empty() ? 0u : 1u);
        EXPECT_EQ(mLogger->lines().back().message == "Background update attempt failed, not relaunching",
                  result != 0);
    }
}

}  // namespace
}  // namespace kvx::apps
