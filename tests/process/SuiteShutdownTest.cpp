// Stopping simulated suite programs started from a temporary install folder and beside it. The
// destager's own process is simulated through the process-utility seam: the test process itself does
// not run from the temporary folder, and it must never be terminated.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>

#include <windows.h>
#include <sddl.h>

#include "foundation/TextConversion.h"
#include "foundation/win/SystemMemory.h"
#include "framework/config/ConfigSystem.h"
#include "integration/AppCoreTestSupport.h"
#include "integration/AppKey.h"
#include "integration/InstalledSuite.h"
#include "process/ProcessTestSupport.h"
#include "process/ProcessUtilsImpl.h"
#include "process/SuiteProcesses.h"
#include "support/Capture.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::apps::suite {
namespace {

using namespace std::chrono_literals;
using services::process::ProcessUtilsImpl;

// Plays the destager as `selfPid`, and opens `stubbornPid` without the right to terminate it.
class SeamProcessUtils final : public ProcessUtilsImpl {
public:
    uint32_t selfPid = ::GetCurrentProcessId();
    uint32_t stubbornPid = 0;

    uint32_t getCurrentProcessId() override { return selfPid; }
    Result<WinUtils::AutoHandle, uint32_t> openProcess(uint32_t pid, uint32_t access) override {
        return ProcessUtilsImpl::openProcess(pid, pid == stubbornPid ? access & ~PROCESS_TERMINATE : access);
    }
    // The id reads as another program's, as after the suite's process ended and the id was reused.
    uint32_t reusedPid = 0;
    Result<std::wstring, uint32_t> getProcessImagePath(HANDLE process) override {
        if (reusedPid != 0 && ::GetProcessId(process) == reusedPid) {
            return Ok{std::wstring(L"C:\\windows\\system32\\notepad.exe")};
        }
        return ProcessUtilsImpl::getProcessImagePath(process);
    }
};

class SuiteShutdown : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& exe : {mClient, mStaged, mBeside / mExeName}) {
            test::copySimProgram(exe);
        }
        services::process::setProcessUtils(mUtils);
    }
    void TearDown() override { services::process::setProcessUtils(nullptr); }

    test::Child& start(const std::filesystem::path& exe, SECURITY_ATTRIBUTES* security = nullptr) {
        return mChildren.emplace_back(test::startChild(exe, L"", security));
    }
    // The availability keys and their grace wait belong to the registration tests; the QA switch
    // keeps the prefix's keys as they are here.
    static void skipAvailabilityKeys() {
        config::configSystem().setBool(config::Store::Ordinary, "machine.qa.skipThirdPartyKeys", true,
                                       config::kScopeMachine);
    }
    std::string utf8(const std::filesystem::path& path) const {
        return foundation::narrow(path.wstring(), KVX_SOURCE_LOCATION);
    }

    test::ScopedTestClock mClock;
    test::ScopedCapturingLogger mLogger;
    test::TempFolder mRoot;
    // A name of this test alone: no other program is stopped by it.
    std::wstring mExeName = [] {
        static std::atomic<int> counter{0};
        return L"kvxsuite-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L".exe";
    }();
    std::filesystem::path mInstall = mRoot.path().std() / L"Korv Desktop";
    std::filesystem::path mBeside = mRoot.path().std() / L"Korv Desktop2";
    std::filesystem::path mClient = mInstall / L"Korv Desktop" / mExeName;
    std::filesystem::path mStaged = mInstall / L"StagedKorvDesktop" / mExeName;
    std::optional<test::ScopedAppKeyValue> mLocation{std::in_place, "InstallLocation", mInstall.wstring() + L"\\"};
    std::shared_ptr<SeamProcessUtils> mUtils = std::make_shared<SeamProcessUtils>();
    std::deque<test::Child> mChildren;
};

// The suite as it runs on a user's machine: its programs under the install folder stopped by path,
// a known program elsewhere stopped by name, the background service (a real service here, under a
// name of this test) stopped as an executable; itself and an unrelated program left running.
TEST_F(SuiteShutdown, RepairStateStopsTheSuiteByPathAndByNameButItselfAndNothingElse) {
    test::ScopedConfig configuration;
    config::configSystem().setBool(config::Store::Ordinary, "app.runBgsAsExe", true, config::kScopeStatic);
    skipAvailabilityKeys();
    test::copySimProgram(mInstall / L"KorvDesktop.exe");
    test::copySimProgram(mInstall / L"tools" / mExeName);
    test::copySimProgram(mBeside / L"Link2Korv.exe");
    test::copySimProgram(mBeside / L"KorvBackgroundService.exe");
    test::ServiceUnderTest service("KvxSimBgs", [&](const std::wstring& name) {
        return L"\"" + (mBeside / L"KorvBackgroundService.exe").wstring() + L"\" --service=" + name +
               L" --lifetime=60000 --stop=refuse";
    });
    const WinUtils::AutoHandle bgs(OpenProcess(SYNCHRONIZE, FALSE, service.status().dwProcessId));
    auto& self = start(mInstall / L"tools" / mExeName);
    mUtils->selfPid = self.pid;
    auto& unrelated = start(mBeside / mExeName);
    for (const auto& exe : {mClient, mStaged, mInstall / L"KorvDesktop.exe", mBeside / L"Link2Korv.exe"}) {
        start(exe);
    }

    RepairStateResult result;
    EXPECT_TRUE(enterRepairStateProcesses(installedSuite(), kStopModeRepair, 0, result));
    EXPECT_TRUE(result.suiteProcessesStopped);
    EXPECT_TRUE(result.knownExecutablesStopped);
    EXPECT_FALSE(result.bgsStopFailed);
    EXPECT_TRUE(result.failedToStop.empty());
    for (const auto& child : mChildren) {
        EXPECT_EQ(child.exitCode(), &child == &self || &child == &unrelated ? STILL_ACTIVE : 9u) << child.pid;
    }
    // The service manager under Wine does not notice; the process has ended all the same.
    EXPECT_EQ(WaitForSingleObject(bgs.get(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(mLogger->linesContaining("Found suite process").size(), 4u);
    const auto notStopped = mLogger->linesContaining("Not stopping current process ");
    ASSERT_EQ(notStopped.size(), 1u);
    EXPECT_NE(notStopped[0].message.find("tools\\" + utf8(mExeName)), std::string::npos) << notStopped[0].message;
    EXPECT_TRUE(mClock->sleeps().empty());
}

TEST_F(SuiteShutdown, ReportsExactlyTheProcessesThatSurvive) {
    auto& stubborn = start(mClient);
    auto& staged = start(mStaged);
    mUtils->stubbornPid = stubborn.pid;

    RepairStateResult result;
    EXPECT_FALSE(stopSuiteProcesses(installedSuite(), kStopModeKeepService, 0, result));
    EXPECT_EQ(staged.exitCode(), 9u);
    EXPECT_EQ(stubborn.exitCode(), STILL_ACTIVE);
    EXPECT_EQ(result.failedToStop, std::unordered_set<std::string>{utf8(mClient)});
    EXPECT_EQ(mLogger->linesContaining("Failed to stop processes to enter repair state[" + utf8(mClient) + "]").size(),
              1u);
    // Five passes, four one-second pauses, attempts #0 to #4.
    EXPECT_EQ(mClock->sleeps(), (std::vector<std::chrono::milliseconds>(4, 1000ms)));
    EXPECT_EQ(mLogger->linesContaining("Attempt #4 didn't successfully shut down all exes").size(), 1u);
    EXPECT_EQ(mLogger->linesContaining("Attempt #5").size(), 0u);
}

TEST_F(SuiteShutdown, WithoutAnInstallLocationNothingIsFoundByPath) {
    auto& client = start(mClient);
    const std::optional<std::wstring> locations[] = {std::nullopt, (mRoot.path().std() / L"no such folder").wstring()};
    for (const auto& location : locations) {
        SCOPED_TRACE(location ? "a missing folder" : "no value");
        mLogger->clear();
        mLocation.emplace("InstallLocation", location);
        RepairStateResult result;
        EXPECT_TRUE(stopSuiteProcesses(installedSuite(), kStopModeKeepService, 0, result));
        EXPECT_EQ(client.exitCode(), STILL_ACTIVE);
        EXPECT_EQ(mLogger->linesContaining("Failed to determine install location").size(), 1u);
        // No value, and no background service here to ask.
        EXPECT_EQ(mLogger->linesContaining("Failed to get install location from BGS service, Service not present")
                      .size(),
                  location ? 0u : 1u);
    }
    EXPECT_FALSE(openAppKey(false, true).set("InstallLocation", "x")) << "the key is opened for reading";
}

TEST_F(SuiteShutdown, StopsByNameWithoutRegardToCase) {
    auto& beside = start(mBeside / mExeName);
    auto& client = start(mClient);
    std::string upper = utf8(mExeName);
    for (auto& c : upper) {
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
    std::unordered_set<std::string> names{upper, "kvx-nothing-runs-with-this-name.exe"};
    EXPECT_TRUE(tryStopExecutables(names, 1000, 5));
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(beside.exitCode(), 9u);
    EXPECT_EQ(client.exitCode(), 9u);
    EXPECT_TRUE(mClock->sleeps().empty());
}

// Between the snapshot and the open an id can pass to another program, which is never ended nor
// waited for.
TEST_F(SuiteShutdown, AnIdThatNowNamesAnotherProgramIsLeftAlone) {
    auto& client = start(mClient);
    mUtils->reusedPid = client.pid;
    std::unordered_set<std::string> names{utf8(mExeName)};
    EXPECT_TRUE(tryStopExecutables(names, 1000, 5));
    names = {utf8(mExeName)};
    EXPECT_TRUE(waitForProcessesToExit(names, 0));
    EXPECT_EQ(client.exitCode(), static_cast<DWORD>(STILL_ACTIVE));

    mUtils->reusedPid = 0;
    names = {utf8(mExeName)};
    EXPECT_TRUE(tryStopExecutables(names, 1000, 5));
    EXPECT_EQ(client.exitCode(), 9u);
}

TEST_F(SuiteShutdown, KnownExecutablesAreStoppedAndAFailedServiceStopIsRecorded) {
    // No background service exists here, so the stop that follows the processes fails.
    test::ScopedConfig configuration;
    test::copySimProgram(mBeside / L"Link2Korv.exe");
    auto& known = start(mBeside / L"Link2Korv.exe");

    RepairStateResult result;
    EXPECT_FALSE(stopKnownExecutables(kStopModeRepair, 0, result));
    EXPECT_EQ(known.exitCode(), 9u);
    EXPECT_TRUE(result.bgsStopFailed);
    EXPECT_TRUE(result.failedToStop.empty());
    EXPECT_EQ(mLogger->linesContaining("Failed to stop background service").size(), 1u);
}

TEST_F(SuiteShutdown, RepairStateReportsBothWaysAndTheirSurvivors) {
    test::ScopedConfig configuration;
    skipAvailabilityKeys();
    mUtils->stubbornPid = start(mClient).pid;
    // A known suite name whose process denies everyone the right to terminate it.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;0x0001;;;WD)(A;;GA;;;WD)", SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    const WinUtils::UniqueLocalMemory<PSECURITY_DESCRIPTOR> owned(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    test::copySimProgram(mBeside / L"OverlayProxy32.exe");
    auto& protectedChild = start(mBeside / L"OverlayProxy32.exe", &attributes);

    RepairStateResult result;
    EXPECT_FALSE(enterRepairStateProcesses(installedSuite(), kStopModeRepair, 0, result));
    EXPECT_TRUE(result.availabilityChanged) << "skipped by the switch, which counts as done";
    EXPECT_FALSE(result.suiteProcessesStopped);
    EXPECT_FALSE(result.knownExecutablesStopped);
    EXPECT_TRUE(result.bgsStopFailed);
    EXPECT_EQ(protectedChild.exitCode(), STILL_ACTIVE);
    EXPECT_EQ(result.failedToStop, (std::unordered_set<std::string>{utf8(mClient), "OverlayProxy32.exe"}));
    EXPECT_EQ(mLogger->linesContaining("Background service failed to stop normally").size(), 1u);
    EXPECT_EQ(mLogger->linesContaining("Failed to shut down exes to enter repair state, remainingExeCount[1]").size(),
              1u);
}

}  // namespace
}  // namespace kvx::apps::suite
