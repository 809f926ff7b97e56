// Simulated suite programs in a temporary install folder; the destager's own process is a seam's.
#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <fmt/format.h>

#include <deque>
#include <optional>
#include <set>

#include "foundation/win/SystemMemory.h"
#include "integration/AppCoreTestSupport.h"
#include "integration/InstalledSuite.h"
#include "process/BackgroundService.h"
#include "process/ProcessTestSupport.h"
#include "process/ProcessUtilsImpl.h"
#include "process/SuiteProcesses.h"
#include "support/Capture.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::apps::suite {
namespace {

using namespace std::chrono_literals;
using WinUtils::AutoHandle;

// Plays the destager as `selfPid`, cannot end `stubbornPid` and reads `reusedPid` as a reused id.
class SeamProcessUtils final : public services::process::ProcessUtilsImpl {
public:
    uint32_t selfPid = ::GetCurrentProcessId();
    uint32_t stubbornPid = 0;
    uint32_t reusedPid = 0;

    uint32_t getCurrentProcessId() override { return selfPid; }
    Result<AutoHandle, uint32_t> openProcess(uint32_t pid, uint32_t access) override {
        return ProcessUtilsImpl::openProcess(pid, pid == stubbornPid ? access & ~PROCESS_TERMINATE : access);
    }
    Result<std::wstring, uint32_t> getProcessImagePath(HANDLE process) override {
        if (reusedPid != 0 && ::GetProcessId(process) == reusedPid) {
            return Ok{std::wstring(L"C:\\windows\\system32\\notepad.exe")};
        }
        return ProcessUtilsImpl::getProcessImagePath(process);
    }
};

class SuiteShutdown : public ::testing::Test {
protected:
    // The switch keeps the availability keys (the registration tests' subject) out of the way.
    void SetUp() override {
        mConfig.set("machine.qa.skipThirdPartyKeys", "true");
        services::process::setProcessUtils(mUtils);
    }
    void TearDown() override { services::process::setProcessUtils(nullptr); }

    test::Child& start(const std::filesystem::path& exe, SECURITY_ATTRIBUTES* security = nullptr) {
        test::copySimProgram(exe);
        return mChildren.emplace_back(test::startChild(exe, L"", security));
    }
    // availabilityChanged, suiteProcessesStopped, knownExecutablesStopped, bgsStopFailed.
    static std::string flags(const RepairStateResult& r) {
        return fmt::format("{:d}{:d}{:d}{:d}", r.availabilityChanged, r.suiteProcessesStopped,
                           r.knownExecutablesStopped, r.bgsStopFailed);
    }

    test::ScopedTestClock mClock;
    test::ScopedCapturingLogger mLogger;
    test::ScopedConfig mConfig;
    test::TempFolder mRoot;
    std::wstring mExeName = test::uniqueName(L"kvxsuite", L".exe");
    std::filesystem::path mInstall = mRoot.path().std() / L"Korv Desktop";
    std::filesystem::path mBeside = mRoot.path().std() / L"Korv Desktop2";
    std::filesystem::path mClient = mInstall / L"Korv Desktop" / mExeName;
    std::optional<test::ScopedAppKeyValue> mLocation{std::in_place, "InstallLocation",
                                                     mInstall.wstring() + L"\\"};
    std::shared_ptr<SeamProcessUtils> mUtils = std::make_shared<SeamProcessUtils>();
    std::deque<test::Child> mChildren;
};

// By path in the install, by name elsewhere; itself, a namesake outside and one that cannot end survive.
TEST_F(SuiteShutdown, RepairStateStopsTheSuiteByPathAndByNameAndReportsSurvivors) {
    auto& self = start(mInstall / L"tools" / mExeName);
    mUtils->selfPid = self.pid;
    auto& unrelated = start(mBeside / mExeName);
    auto& stubborn = start(mClient);
    mUtils->stubbornPid = stubborn.pid;
    for (const auto& exe : {mInstall / L"StagedKorvDesktop" / mExeName, mInstall / L"KorvDesktop.exe",
                            mBeside / L"Link2Korv.exe"}) {
        start(exe);
    }
    RepairStateResult result;
    EXPECT_FALSE(enterRepairStateProcesses(installedSuite(), kStopModeRepair, 0, result));
    EXPECT_EQ(flags(result), "1001") << "availability skipped by the switch, which counts as done";
    EXPECT_EQ(result.failedToStop, std::unordered_set<std::string>{test::utf8(mClient)});
    for (const auto& child : mChildren) {
        const bool survives = &child == &self || &child == &unrelated || &child == &stubborn;
        EXPECT_EQ(child.exitCode(), survives ? STILL_ACTIVE : 9u) << child.pid;
    }
    EXPECT_EQ(mLogger->count("Found suite process"), 4u);
    EXPECT_EQ(mLogger->count("Not stopping current process " + test::utf8(mInstall / L"tools" / mExeName)),
              1u);
    EXPECT_EQ(mLogger->count("Background service failed to stop normally"), 1u);
    EXPECT_EQ(mLogger->count("Failed to stop processes to enter repair state[" + test::utf8(mClient) + "]"),
              1u);
    EXPECT_EQ(mClock->sleeps(), (std::vector<std::chrono::milliseconds>(4, 1000ms)));
    EXPECT_EQ(mLogger->count("Attempt #4 didn't successfully shut down all exes"), 1u);
    EXPECT_EQ(mLogger->count("Attempt #5"), 0u);
    EXPECT_EQ(mLogger->count("Failed to stop background service"), 1u);
}

// The service as an executable is stopped by name; a known program nobody may terminate survives.
TEST_F(SuiteShutdown, TheServiceAsAnExecutableIsStoppedUnlessSeveralMayRun) {
    mConfig.set("app.runBgsAsExe", "true");
    auto& service = start(mBeside / L"KorvBackgroundService.exe");
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;0x0001;;;WD)(A;;GA;;;WD)",
                                                                     SDDL_REVISION_1, &descriptor, nullptr));
    const WinUtils::UniqueLocalMemory<PSECURITY_DESCRIPTOR> owned(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    auto& protectedChild = start(mBeside / L"OverlayProxy32.exe", &attributes);
    RepairStateResult result;
    EXPECT_TRUE(enterRepairStateProcesses(installedSuite(), kStopModeRepair, 0, result));
    EXPECT_EQ(flags(result), "1100");
    EXPECT_EQ(result.failedToStop, std::unordered_set<std::string>{"OverlayProxy32.exe"});
    EXPECT_EQ(service.exitCode(), 9u);
    EXPECT_EQ(protectedChild.exitCode(), STILL_ACTIVE);
    EXPECT_EQ(mLogger->count("ProcessLauncher: stopping background service as executable"), 1u);
    EXPECT_EQ(mLogger->count("Failed to shut down exes to enter repair state, remainingExeCount[1]"), 1u);
    // With several instances allowed the service's executable may belong to another one.
    mConfig.set("app.multipleInstances", "true");
    mLogger->clear();
    auto& another = start(mRoot.path().std() / L"another" / L"KorvBackgroundService.exe");
    EXPECT_TRUE(stopBgService(15000));
    EXPECT_EQ(another.exitCode(), STILL_ACTIVE);
    EXPECT_EQ(mLogger->count("stopping background service as executable"), 0u);
}

TEST_F(SuiteShutdown, WithoutAnInstallLocationNothingIsFoundByPath) {
    auto& client = start(mClient);
    const std::optional<std::wstring> locations[] = {std::nullopt,
                                                     (mRoot.path().std() / L"no such folder").wstring()};
    for (const auto& location : locations) {
        SCOPED_TRACE(location ? "a missing folder" : "no value");
        mLogger->clear();
        mLocation.emplace("InstallLocation", location);
        RepairStateResult result;
        EXPECT_TRUE(stopSuiteProcesses(installedSuite(), kStopModeKeepService, 0, result));
        EXPECT_EQ(client.exitCode(), STILL_ACTIVE);
        EXPECT_EQ(mLogger->count("Failed to determine install location"), 1u);
        EXPECT_EQ(mLogger->count("Failed to get install location from BGS service, Service not present"),
                  location ? 0u : 1u);
    }
}

// By name in any letter case; an id that passed to another program after the snapshot is never ended.
TEST_F(SuiteShutdown, ByNameStopsInAnyCaseButLeavesAnIdNowOfAnotherProgram) {
    auto& client = start(mClient);
    auto& beside = start(mBeside / mExeName);
    mUtils->reusedPid = client.pid;
    std::unordered_set<std::string> names{test::utf8(mExeName)};
    EXPECT_TRUE(tryStopExecutables(names, 1000, 5));
    EXPECT_EQ(beside.exitCode(), 9u);
    EXPECT_EQ(client.exitCode(), STILL_ACTIVE);
    mUtils->reusedPid = 0;
    std::string upper = test::utf8(mExeName);
    CharUpperA(upper.data());
    names = {upper, "kvx-nothing-runs-with-this-name.exe"};
    EXPECT_TRUE(tryStopExecutables(names, 1000, 5));
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(client.exitCode(), 9u);
    EXPECT_TRUE(mClock->sleeps().empty());
}

// Only handles not signalled are kept (past the 64 of one wait); one to a process gone leaves nothing.
TEST_F(SuiteShutdown, WaitsKeepExactlyTheHandlesNotSignalledInTime) {
    std::vector<AutoHandle> handles;
    for (int i = 0; i < 130; ++i) {
        handles.emplace_back(CreateEventW(nullptr, TRUE, i != 0 && i != 100, nullptr));
    }
    const std::set<HANDLE> unsignalled{handles[0].get(), handles[100].get()};
    waitForObjects(handles, 20);
    ASSERT_EQ(handles.size(), 2u);
    EXPECT_EQ((std::set<HANDLE>{handles[0].get(), handles[1].get()}), unsignalled);
    SetEvent(handles[0].get());
    SetEvent(handles[1].get());
    waitForObjects(handles, kWaitForever);
    EXPECT_TRUE(handles.empty());
    test::Child& child = start(mClient);
    HANDLE raw = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), child.process.get(), GetCurrentProcess(), &raw,
                                SYNCHRONIZE, FALSE, 0));
    child.kill();
    handles.emplace_back(raw);
    EXPECT_TRUE(tryStopProcesses(handles, 1000, 5));
    EXPECT_TRUE(handles.empty());
    EXPECT_TRUE(mClock->sleeps().empty());
}

}  // namespace
}  // namespace kvx::apps::suite
