// Service control against Wine's real service control manager, with services of our own: each
// test registers the helper service under a unique name, starts it and deletes it afterwards.
// Sleeps run on the test clock, so a service that never finishes its transition costs no time.
#include <gtest/gtest.h>

#include <chrono>

#include "foundation/win/AutoHandle.h"
#include "framework/config/ConfigSystem.h"
#include "process/BackgroundService.h"
#include "process/ProcessTestSupport.h"
#include "process/ServiceControlManager.h"
#include "process/Win32Service.h"
#include "support/Capture.h"
#include "support/TestClock.h"

namespace kvx::services::platform {
namespace {

using namespace std::chrono_literals;
using test::ScopedCapturingLogger;
using test::ScopedTestClock;

// The helper service with a stop behaviour and a wait hint.
class TestService : public test::ServiceUnderTest {
public:
    TestService(const char* behaviour, uint32_t waitHintMs = 0, DWORD awaitedState = SERVICE_RUNNING)
        : ServiceUnderTest(
              "KvxTestSvc",
              [&](const std::wstring& name) {
                  return L"\"" + test::helperPath(L"proc_test_service.exe").wstring() + L"\" " + name + L" " +
                         std::wstring(behaviour, behaviour + strlen(behaviour)) + L" " +
                         std::to_wstring(waitHintMs);
              },
              awaitedState) {}
};

size_t countLines(test::CapturingLogger& logger, const std::string& text) { return logger.linesContaining(text).size(); }

TEST(ServiceControl, ReportsTheImageStopsARunningServiceAndThenFindsItStopped) {
    ScopedTestClock clock;
    ScopedCapturingLogger logger;
    TestService service("normal");
    const std::string image = ServiceControlManager::getServicePath(service.name()).unwrap().utf8();
    EXPECT_NE(image.find("proc_test_service.exe\" " + service.name()), std::string::npos) << image;

    EXPECT_EQ(apps::pollServiceStatus(service.name()), ServiceStatus::Running);
    EXPECT_TRUE(apps::stopService(service.name(), 15000));
    EXPECT_EQ(countLines(*logger, "ProcessLauncher: [" + service.name() + "] is running, trying to stop it"), 1u);
    EXPECT_EQ(countLines(*logger, "Service sent stop command."), 1u);
    EXPECT_TRUE(service.awaitState(SERVICE_STOPPED));

    logger->clear();
    EXPECT_TRUE(apps::stopService(service.name(), 15000));
    EXPECT_EQ(countLines(*logger, "ProcessLauncher: [" + service.name() + "] was already stopped"), 1u);
    EXPECT_EQ(countLines(*logger, "Service sent stop command."), 0u);
    ServiceStatus status = ServiceStatus::Invalid;
    EXPECT_TRUE(ServiceControlManager::getServiceStatus(service.name(), status));
    EXPECT_EQ(status, ServiceStatus::Stopped);
}

TEST(ServiceControl, AMissingServiceIsNotInstalledAndNeverStopped) {
    ScopedTestClock clock;
    ScopedCapturingLogger logger;
    const std::string name = "KvxTestSvc-never-registered-" + std::to_string(GetCurrentProcessId());
    EXPECT_EQ(apps::pollServiceStatus(name), ServiceStatus::NotInstalled);
    EXPECT_FALSE(apps::stopService(name, 15000));
    EXPECT_FALSE(ServiceControlManager::stopService(name, 15000));
    EXPECT_EQ(countLines(*logger, "'" + name + "' not registered in SCM database."), 1u);
    EXPECT_EQ(countLines(*logger, "Service sent stop command."), 0u);
    auto path = ServiceControlManager::getServicePath(name);
    EXPECT_EQ(path.peekError(), "Service not present");
    EXPECT_TRUE(clock->sleeps().empty());
}

TEST(ServiceControl, AStopThatStaysPendingTimesOutPacedByTheWaitHint) {
    ScopedTestClock clock;
    ScopedCapturingLogger logger;
    TestService service("stuck-stop", 60000);
    ServiceOpenState open(service.name(), kServiceStopAndQuery, kManagerEnumerate);
    ASSERT_EQ(open.openResult(), OpenResult::Opened);

    EXPECT_FALSE(open.ensureStopped(5000));
    EXPECT_EQ(countLines(*logger, "Service sent stop command."), 1u);
    EXPECT_EQ(clock->sleeps(), (std::vector<std::chrono::milliseconds>{2000ms, 2000ms, 2000ms}));
    EXPECT_EQ(countLines(*logger, "Timed out while waiting for the service to reach state [7]. Service: '" +
                                      service.name() + "'"),
              1u);

    // Already stop-pending: no second stop request, the wait starts at once.
    logger->clear();
    EXPECT_FALSE(open.ensureStopped(1000));
    EXPECT_EQ(countLines(*logger, "Service sent stop command."), 0u);
    EXPECT_EQ(countLines(*logger, "Waiting for service..."), 1u);

    // The application layer sees a transition that never ends: five one-second re-reads.
    logger->clear();
    const size_t before = clock->sleeps().size();
    EXPECT_FALSE(apps::stopService(service.name(), 15000));
    EXPECT_EQ(clock->sleeps().size() - before, 5u);
    EXPECT_EQ(clock->sleeps().back(), 1000ms);
    EXPECT_EQ(countLines(*logger, "never completed state transition"), 1u);
}

TEST(ServiceControl, AShortWaitHintIsPolledEverySecondAndTimeoutZeroDoesNotWait) {
    ScopedTestClock clock;
    TestService service("stuck-stop", 5000);
    ServiceOpenState open(service.name(), kServiceStopAndQuery, kManagerEnumerate);
    ASSERT_EQ(open.openResult(), OpenResult::Opened);

    EXPECT_FALSE(open.ensureStopped(0));
    EXPECT_TRUE(clock->sleeps().empty());
    EXPECT_FALSE(open.waitForState(ServiceState::Stopped, 2500, ServiceState::Invalid));
    EXPECT_EQ(clock->sleeps(), (std::vector<std::chrono::milliseconds>{1000ms, 1000ms, 1000ms}));
}

TEST(ServiceControl, AServiceThatGoesBackToRunningIsInAnUnexpectedState) {
    ScopedTestClock clock;
    ScopedCapturingLogger logger;
    TestService service("bounce", 3000);
    EXPECT_FALSE(ServiceControlManager::stopService(service.name(), 15000));
    EXPECT_EQ(countLines(*logger, "Service is in unexpected state: '" + service.name() + "'"), 1u);
}

TEST(ServiceControl, AServiceStuckStartingIsReportedPending) {
    ScopedTestClock clock;
    ScopedCapturingLogger logger;
    TestService service("stuck-start", 30000, SERVICE_START_PENDING);
    EXPECT_EQ(apps::pollServiceStatus(service.name()), ServiceStatus::Pending);
    EXPECT_EQ(clock->sleeps(), (std::vector<std::chrono::milliseconds>(5, 1000ms)));
    EXPECT_EQ(countLines(*logger, "Launcher: detected service is in between states"), 1u);
}

TEST(ServiceControl, BackgroundServiceAsExecutableIsStoppedByNameUnlessSeveralMayRun) {
    ScopedTestClock clock;
    ScopedCapturingLogger logger;
    test::ScopedConfig configuration;
    test::TempFolder folder;
    const auto exe = folder.path().std() / L"KorvBackgroundService.exe";
    test::copyIdleProgram(exe);
    test::Child child = test::startChild(exe);

    kvx::config::configSystem().setBool(kvx::config::Store::Ordinary, "app.runBgsAsExe", true, kvx::config::kScopeStatic);
    kvx::config::configSystem().setBool(kvx::config::Store::Ordinary, "app.multipleInstances", true, kvx::config::kScopeStatic);
    EXPECT_TRUE(apps::stopBgService(15000));
    EXPECT_EQ(test::exitCodeOf(child), STILL_ACTIVE);
    EXPECT_EQ(countLines(*logger, "stopping background service as executable"), 0u);

    kvx::config::configSystem().setBool(kvx::config::Store::Ordinary, "app.multipleInstances", false, kvx::config::kScopeStatic);
    EXPECT_TRUE(apps::stopBgService(15000));
    EXPECT_EQ(countLines(*logger, "ProcessLauncher: stopping background service as executable"), 1u);
    EXPECT_EQ(test::exitCodeOf(child), 9u);
    test::killChild(child);
}

}  // namespace
}  // namespace kvx::services::platform
