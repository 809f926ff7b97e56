// Starting the client; seams play what Wine lacks: elevation, the shell start's confirmation, sessions.
#include "process/ClientLaunch.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
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

// Refused before anything is created when its working folder is missing.
TEST(Process, StartsInAnExistingWorkingDirectoryAndRefusesAMissingOne) {
    test::ScopedCapturingLogger logger;
    test::TempFolder root;
    ProcessInfo info;
    info.exe = test::simPath(L"KorvDesktop.exe").string();
    info.dir = (root.path() / fs::Path(L"absent")).utf8();
    auto started = Process::createAndRun(info);
    ASSERT_TRUE(started.isError());
    EXPECT_EQ(started.peekError(), Process::Error::WorkingDirNotPresent);
    EXPECT_EQ(logger->linesContaining("Working directory does not exist [" + info.dir + "].").size(), 1u);
    EXPECT_EQ(logger->linesContaining("Could not create process [exe=[").size(), 1u);

    info.dir = root.path().utf8();
    info.args = "--lifetime=0";
    started = Process::createAndRun(info);
    ASSERT_TRUE(started.isOk()) << errorName(started.peekError());
    EXPECT_EQ(WaitForSingleObject(started.peek().processHandle(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
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
    EXPECT_FALSE(startExecutable("", "KorvDesktop.exe", {}, true));
    EXPECT_EQ(mLogger->linesContaining("Missing executable: 'KorvDesktop.exe'").size(), 1u);
}

}  // namespace
}  // namespace kvx::apps
