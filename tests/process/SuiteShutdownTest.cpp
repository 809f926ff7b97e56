// Simulated suite programs in a temporary install folder; the destager's own process is a seam's.
// Services: against Wine's real service control manager with services of our own; sleeps run on the
// test clock. The shutdown guard on a test clock; the case that ends a process runs it in
// proc_stalled_teardown.
#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <fmt/format.h>

#include <deque>
#include <optional>
#include <set>

#include "foundation/TextConversion.h"
#include "foundation/registry/RegistryKey.h"
#include "foundation/win/SystemMemory.h"
#include "framework/errors/RecordingSink.h"
#include "integration/AppCoreTestSupport.h"
#include "integration/AppKey.h"
#include "integration/InstalledSuite.h"
#include "kvx/BuildVersion.h"
#include "process/BackgroundService.h"
#include "process/ProcessTestSupport.h"
#include "process/ProcessUtilsImpl.h"
#include "process/ServiceControlManager.h"
#include "process/ShutdownTimeout.h"
#include "process/SuiteProcesses.h"
#include "process/Win32Service.h"
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

using namespace services::platform;
using Sleeps = std::vector<std::chrono::milliseconds>;

// A simulated program as a service of this test's own, stopping as `how` says; its waits are real.
class TestService {
public:
    TestService(const std::wstring& how, uint32_t waitHintMs)
        : mService(foundation::narrow(test::uniqueName(L"KvxTestSvc"), KVX_SOURCE_LOCATION)) {
        EXPECT_EQ(mService.open(SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS), OpenResult::NotPresent);
        const std::wstring image = L"\"" + test::simPath(L"KorvDesktop.exe").wstring() + L"\" --service=" +
                                   foundation::widen(name(), KVX_SOURCE_LOCATION) +
                                   L" --lifetime=60000 --stop=" + how + L" --stopDelay=0 --waitHint=" +
                                   std::to_wstring(waitHintMs);
        EXPECT_TRUE(mService.create(SERVICE_ALL_ACCESS, ServiceStartType::OnDemand, image, nullptr) &&
                    StartServiceW(mService.serviceHandle(), 0, nullptr))
            << GetLastError();
        EXPECT_TRUE(awaitState(ServiceState::Running));
    }
    ~TestService() {
        SERVICE_STATUS_PROCESS status{};
        DWORD needed = 0;
        QueryServiceStatusEx(mService.serviceHandle(), SC_STATUS_PROCESS_INFO,
                             reinterpret_cast<BYTE*>(&status), sizeof(status), &needed);
        const DWORD pid = status.dwProcessId;
        test::Child(WinUtils::AutoHandle(OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid)), pid);  // ends it
        DeleteService(mService.serviceHandle());  // fails harmlessly when it was never created
    }
    const std::string& name() const { return mService.utf8Name(); }
    bool awaitState(ServiceState state) {
        for (int i = 0; i < 500 && mService.getState() != state; ++i) {
            Sleep(20);
        }
        return mService.getState() == state;
    }

private:
    Win32Service mService;
};

class ServiceControl : public ::testing::Test {
protected:
    Sleeps sleepsFrom(size_t first) {
        const Sleeps all = mClock->sleeps();
        return Sleeps(all.begin() + static_cast<std::ptrdiff_t>(first), all.end());
    }

    test::ScopedTestClock mClock;
    test::ScopedCapturingLogger mLogger;
};

// Re-reads are paced by a tenth of the wait hint, kept within one to two seconds ("{}": the service).
// A second stop finds it stopped, or still in its transition after five one-second re-reads.
TEST_F(ServiceControl, StopOutcomeFollowsTheServiceReports) {
    const std::string missing = test::utf8(test::uniqueName(L"KvxMissingSvc"));
    EXPECT_FALSE(ServiceControlManager::stopService(missing, 15000));
    EXPECT_EQ(mLogger->count("'" + missing + "' not registered in SCM database."), 1u);
    EXPECT_EQ(mLogger->count("Service sent stop command."), 0u);
    const char* timedOut = "Timed out while waiting for the service to reach state [7]. Service: '{}'";
    const struct {
        const wchar_t* how;
        uint32_t waitHintMs;
        ServiceState endState;
        const char* line;
        std::optional<Sleeps> sleeps;  // none: as the service's timing has it
    } rows[] = {
        {L"normal", 0, ServiceState::Stopped, "ProcessLauncher: [{}] is running, trying to stop it",
         Sleeps{}},
        {L"slow", 0, ServiceState::Stopped, "Service stopped: '{}'", std::nullopt},
        {L"refuse", 0, ServiceState::Running, "Unable to stop service. Service: '{}'", Sleeps{}},
        {L"pending", 60000, ServiceState::StopPending, timedOut, Sleeps(8, 2000ms)},
        {L"pending", 5000, ServiceState::StopPending, timedOut, Sleeps(15, 1000ms)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.line << " " << row.waitHintMs);
        mLogger->clear();
        TestService service(row.how, row.waitHintMs);
        const std::string image = ServiceControlManager::getServicePath(service.name()).unwrap().utf8();
        EXPECT_NE(image.find("KorvDesktop.exe\" --service=" + service.name()), std::string::npos) << image;
        size_t before = mClock->sleeps().size();
        const bool stops = row.endState == ServiceState::Stopped;
        const bool refused = std::wstring_view(row.how) == L"refuse";
        EXPECT_EQ(apps::stopService(service.name(), 15000), stops);
        EXPECT_EQ(mLogger->count(fmt::format(fmt::runtime(row.line), service.name())), 1u);
        EXPECT_EQ(mLogger->count("Service sent stop command."), refused ? 0u : 1u);
        // Refused, it is neither stopped nor stop-pending.
        EXPECT_EQ(mLogger->count("Service is in unexpected state: '" + service.name() + "'"),
                  refused ? 1u : 0u);
        EXPECT_TRUE(service.awaitState(row.endState));
        if (row.sleeps) {
            EXPECT_EQ(sleepsFrom(before), *row.sleeps);
            EXPECT_EQ(mLogger->count("Waiting for service..."), row.sleeps->size());
        }
        if (!refused) {
            mLogger->clear();
            before = mClock->sleeps().size();
            EXPECT_EQ(apps::stopService(service.name(), 15000), stops);
            EXPECT_EQ(
                mLogger->count("ProcessLauncher: [" + service.name() +
                               (stops ? "] was already stopped" : "] never completed state transition")),
                1u);
            EXPECT_EQ(mLogger->count("Launcher: detected service is in between states"), stops ? 0u : 1u);
            EXPECT_EQ(mLogger->count("Service sent stop command."), 0u);
            EXPECT_EQ(sleepsFrom(before), stops ? Sleeps{} : Sleeps(5, 1000ms));
        }
    }
}

const std::string kThisProgram = "proc_windows_tests";
const std::string kHelperProgram = "proc_stalled_teardown";

std::string recordedTimeout(const std::string& program) {
    return openAppKey(false, true).openSubKey(kShutdownErrorsSubKey, true, false).get<std::string>(program);
}

void removeRecord(const std::string& program) {
    openAppKey(true, true).openSubKey(kShutdownErrorsSubKey, true, true).deleteValue(program);
}

class ShutdownTimeoutTest : public ::testing::Test {
protected:
    void SetUp() override { removeRecord(kThisProgram); }
    void TearDown() override { removeRecord(kThisProgram); }

    test::ScopedConfig mConfig;
    test::ScopedCapturingLogger mLogger;
    std::shared_ptr<test::TestClock> mClock = std::make_shared<test::TestClock>();
};

// A teardown in time records nothing; the mode and the start line follow the configuration.
TEST_F(ShutdownTimeoutTest, QuickTeardownJoinsInEveryModeWithoutARecord) {
    const struct {
        const char* forceCrash;
        bool terminateByDefault;
        const char* duration;
        const char* mode;
        const char* startLine;  // null: the guard is disabled
    } rows[] = {
        {"", true, "", "Shutdown guard running, mode[Quit]", "Starting shutdown timeout, duration[300s]"},
        {"true", false, "20", "Shutdown guard running, mode[Crash]",
         "Starting shutdown timeout, duration[20s]"},
        {"", false, "0", "Shutdown guard running, mode[Log]", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.mode);
        mLogger->clear();
        mConfig.set("app.serviceStopTimeoutForceCrash", row.forceCrash);
        mConfig.set("app.serviceStopTimeoutInSeconds", row.duration);
        {
            ShutdownTimeout guard(kAppKeyPath, mClock);
            guard.init(row.terminateByDefault);
            guard.stopSignalReceived();
            guard.stopSignalReceived();
        }
        EXPECT_EQ(mLogger->count(row.mode), 1u);
        EXPECT_EQ(mLogger->count(row.startLine ? row.startLine : "Starting shutdown timeout"),
                  row.startLine ? 1u : 0u);
        EXPECT_EQ(recordedTimeout(kThisProgram), "");
    }
}

// In "Log" mode an expired guard only records; the program's next start reports and deletes it.
TEST_F(ShutdownTimeoutTest, ExpiryIsRecordedAndReportedByTheNextStart) {
    mConfig.set("app.serviceStopTimeoutInSeconds", "5");
    {
        ShutdownTimeout guard(kAppKeyPath, mClock);
        guard.init(false);
        guard.stopSignalReceived();
        mClock->advance(6s);
        for (int i = 0; i < 200 && recordedTimeout(kThisProgram).empty(); ++i) {
            Sleep(10);
        }
    }
    EXPECT_EQ(recordedTimeout(kThisProgram), kBuildVersion);
    test::ScopedRecordingSink sink;
    ShutdownTimeout next(kAppKeyPath, mClock);
    next.init(false);
    EXPECT_EQ(recordedTimeout(kThisProgram), "");
    const auto events = sink->events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].taxonomy(), "erro.svc.sdto");
    EXPECT_EQ(events[0].params().value("fver", ""), kBuildVersion);
    EXPECT_EQ(events[0].params().value("exe", ""), kThisProgram);
}

TEST_F(ShutdownTimeoutTest, StalledTeardownEndsTheProcess) {
    removeRecord(kHelperProgram);
    test::Child helper = test::startChild(test::helperPath(L"proc_stalled_teardown.exe"));
    ASSERT_EQ(WaitForSingleObject(helper.process.get(), 20000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(helper.exitCode(), kShutdownTimeoutExitCode);
    EXPECT_EQ(recordedTimeout(kHelperProgram), kBuildVersion);
    removeRecord(kHelperProgram);
}

}  // namespace
}  // namespace kvx::apps::suite
