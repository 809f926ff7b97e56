// Stopping stand-in suite processes (copies of an idle helper) started from a temporary install
// folder. The destager's own process is simulated through the process-utility seam: the test
// process itself does not run from the temporary folder, and it must never be terminated.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>

#include <windows.h>
#include <sddl.h>

#include "foundation/TextConversion.h"
#include "process/ProcessTestSupport.h"
#include "process/ProcessUtilsImpl.h"
#include "process/SuiteProcesses.h"
#include "support/Capture.h"
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
};

class SuiteShutdown : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        mExeName = L"kvxsuite-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L".exe";
        mInstall = mRoot.path().std() / L"Korv Desktop";
        mBeside = mRoot.path().std() / L"Korv Desktop2";
        test::copyIdleProgram(mInstall / L"Korv Desktop" / mExeName);
        test::copyIdleProgram(mInstall / L"StagedKorvDesktop" / mExeName);
        test::copyIdleProgram(mBeside / mExeName);
        mLocation = std::make_unique<test::ScopedInstallLocation>(mInstall.wstring() + L"\\");
        mUtils = std::make_shared<SeamProcessUtils>();
        services::process::setProcessUtils(mUtils);
    }

    void TearDown() override {
        services::process::setProcessUtils(nullptr);
        for (auto& child : mChildren) {
            test::killChild(child);
        }
    }

    test::Child& start(const std::filesystem::path& exe) {
        mChildren.push_back(test::startChild(exe));
        return mChildren.back();
    }

    std::string utf8Name() const { return foundation::narrow(mExeName, KVX_SOURCE_LOCATION); }

    test::ScopedTestClock mClock;
    test::ScopedCapturingLogger mLogger;
    test::TempFolder mRoot;
    std::wstring mExeName;
    std::filesystem::path mInstall;
    std::filesystem::path mBeside;
    std::unique_ptr<test::ScopedInstallLocation> mLocation;
    std::shared_ptr<SeamProcessUtils> mUtils;
    std::deque<test::Child> mChildren;
};

TEST_F(SuiteShutdown, StopsEveryProcessUnderTheInstallFolderButItselfAndNothingBesideIt) {
    test::copyIdleProgram(mInstall / L"tools" / mExeName);
    auto& client = start(mInstall / L"Korv Desktop" / mExeName);
    auto& staged = start(mInstall / L"StagedKorvDesktop" / mExeName);
    auto& self = start(mInstall / L"tools" / mExeName);
    auto& beside = start(mBeside / mExeName);
    mUtils->selfPid = self.pid;

    RepairStateResult result;
    EXPECT_TRUE(stopSuiteProcesses(kStopModeKeepService, 0, result));
    EXPECT_EQ(test::exitCodeOf(client), 9u);
    EXPECT_EQ(test::exitCodeOf(staged), 9u);
    EXPECT_EQ(test::exitCodeOf(self), STILL_ACTIVE);
    EXPECT_EQ(test::exitCodeOf(beside), STILL_ACTIVE);
    EXPECT_TRUE(result.failedToStop.empty());
    EXPECT_FALSE(result.bgsStopFailed);
    EXPECT_EQ(mLogger->linesContaining("Found suite process").size(), 3u);
    const auto notStopped = mLogger->linesContaining("Not stopping current process ");
    ASSERT_EQ(notStopped.size(), 1u);
    EXPECT_NE(notStopped[0].message.find("tools\\" + utf8Name()), std::string::npos) << notStopped[0].message;
    EXPECT_TRUE(mClock->sleeps().empty());
}

TEST_F(SuiteShutdown, ReportsExactlyTheProcessesThatSurvive) {
    auto& stubborn = start(mInstall / L"Korv Desktop" / mExeName);
    auto& client = start(mInstall / L"StagedKorvDesktop" / mExeName);
    mUtils->stubbornPid = stubborn.pid;

    RepairStateResult result;
    EXPECT_FALSE(stopSuiteProcesses(kStopModeKeepService, 0, result));
    EXPECT_EQ(test::exitCodeOf(client), 9u);
    EXPECT_EQ(test::exitCodeOf(stubborn), STILL_ACTIVE);
    ASSERT_EQ(result.failedToStop.size(), 1u);
    const std::string path = *result.failedToStop.begin();
    EXPECT_NE(path.find("Korv Desktop\\Korv Desktop\\" + utf8Name()), std::string::npos) << path;
    EXPECT_EQ(mLogger->linesContaining("Failed to stop processes to enter repair state[" + path + "]").size(), 1u);
    // Five passes, four one-second pauses, attempts #0 to #4.
    EXPECT_EQ(mClock->sleeps(), (std::vector<std::chrono::milliseconds>(4, 1000ms)));
    EXPECT_EQ(mLogger->linesContaining("Attempt #4 didn't successfully shut down all exes").size(), 1u);
    EXPECT_EQ(mLogger->linesContaining("Attempt #5").size(), 0u);
}

TEST_F(SuiteShutdown, WithoutAnInstallLocationNothingIsFoundByPath) {
    auto& client = start(mInstall / L"Korv Desktop" / mExeName);
    mLocation.reset();
    test::ScopedInstallLocation missing(mRoot.path().std() / L"no such folder");

    RepairStateResult result;
    EXPECT_TRUE(stopSuiteProcesses(kStopModeKeepService, 0, result));
    EXPECT_EQ(test::exitCodeOf(client), STILL_ACTIVE);
    EXPECT_EQ(mLogger->linesContaining("Failed to determine install location").size(), 1u);
}

TEST_F(SuiteShutdown, StopsByNameWithoutRegardToCase) {
    auto& first = start(mBeside / mExeName);
    auto& second = start(mInstall / L"Korv Desktop" / mExeName);
    std::string upper = utf8Name();
    for (auto& c : upper) {
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
    std::unordered_set<std::string> names{upper, "kvx-nothing-runs-with-this-name.exe"};
    EXPECT_TRUE(tryStopExecutables(names, 1000, 5));
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(test::exitCodeOf(first), 9u);
    EXPECT_EQ(test::exitCodeOf(second), 9u);
    EXPECT_TRUE(mClock->sleeps().empty());

    std::unordered_set<std::string> none;
    EXPECT_TRUE(tryStopExecutables(none, 1000, 5));
}

TEST_F(SuiteShutdown, KnownExecutablesAreStoppedAndAFailedServiceStopIsRecorded) {
    // No background service exists here, so the stop that follows the processes fails.
    test::ScopedConfig configuration;
    test::copyIdleProgram(mBeside / L"Link2Korv.exe");
    auto& known = start(mBeside / L"Link2Korv.exe");

    RepairStateResult result;
    EXPECT_FALSE(stopKnownExecutables(kStopModeRepair, 0, result));
    EXPECT_EQ(test::exitCodeOf(known), 9u);
    EXPECT_TRUE(result.bgsStopFailed);
    EXPECT_TRUE(result.failedToStop.empty());
    EXPECT_EQ(mLogger->linesContaining("Failed to stop background service").size(), 1u);
}

TEST_F(SuiteShutdown, RepairStateReportsBothWaysAndTheirSurvivors) {
    test::ScopedConfig configuration;
    auto& stubborn = start(mInstall / L"Korv Desktop" / mExeName);
    mUtils->stubbornPid = stubborn.pid;
    // A known suite name whose process denies everyone the right to terminate it.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;0x0001;;;WD)(A;;GA;;;WD)", SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    test::copyIdleProgram(mBeside / L"OverlayProxy32.exe");
    mChildren.push_back(test::startChild(mBeside / L"OverlayProxy32.exe", L"", &attributes));
    LocalFree(descriptor);
    auto& protectedChild = mChildren.back();

    RepairStateResult result;
    EXPECT_FALSE(enterRepairStateProcesses(kStopModeRepair, 0, result));
    EXPECT_FALSE(result.availabilityChanged);
    EXPECT_FALSE(result.suiteProcessesStopped);
    EXPECT_FALSE(result.knownExecutablesStopped);
    EXPECT_TRUE(result.bgsStopFailed);
    EXPECT_EQ(test::exitCodeOf(protectedChild), STILL_ACTIVE);
    const std::string stubbornPath = foundation::narrow((mInstall / L"Korv Desktop" / mExeName).wstring(),
                                                        KVX_SOURCE_LOCATION);
    EXPECT_EQ(result.failedToStop, (std::unordered_set<std::string>{stubbornPath, "OverlayProxy32.exe"}));
    EXPECT_EQ(mLogger->linesContaining("Background service failed to stop normally").size(), 1u);
    EXPECT_EQ(mLogger->linesContaining("Failed to shut down exes to enter repair state, remainingExeCount[1]").size(),
              1u);
}

}  // namespace
}  // namespace kvx::apps::suite
