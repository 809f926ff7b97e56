// Service control against Wine's real service control manager, with services of our own: each
// case registers the helper service under a unique name, starts it and deletes it afterwards.
// Sleeps run on the test clock, so a service that never finishes its transition costs no time.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <chrono>

#include "framework/config/ConfigSystem.h"
#include "process/BackgroundService.h"
#include "process/ProcessTestSupport.h"
#include "process/ServiceControlManager.h"
#include "support/Capture.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::services::platform {
namespace {

using namespace std::chrono_literals;
using Sleeps = std::vector<std::chrono::milliseconds>;

// The helper service with a stop behaviour and a wait hint.
class TestService : public test::ServiceUnderTest {
public:
    TestService(const std::wstring& behaviour, uint32_t waitHintMs = 0, DWORD awaitedState = SERVICE_RUNNING)
        : ServiceUnderTest(
              "KvxTestSvc",
              [&](const std::wstring& name) {
                  return L"\"" + test::helperPath(L"proc_test_service.exe").wstring() + L"\" " + name + L" " +
                         behaviour + L" " + std::to_wstring(waitHintMs);
              },
              awaitedState) {}
};

class ServiceControl : public ::testing::Test {
protected:
    size_t count(const std::string& text) { return mLogger->linesContaining(text).size(); }
    Sleeps sleepsSince(size_t first) {
        const Sleeps all = mClock->sleeps();
        return Sleeps(all.begin() + static_cast<std::ptrdiff_t>(first), all.end());
    }

    test::ScopedTestClock mClock;
    test::ScopedCapturingLogger mLogger;
};

TEST_F(ServiceControl, AMissingServiceIsNotInstalledAndNeverStopped) {
    const std::string name = "KvxTestSvc-never-registered-" + std::to_string(GetCurrentProcessId());
    EXPECT_EQ(apps::pollServiceStatus(name), ServiceStatus::NotInstalled);
    EXPECT_FALSE(apps::stopService(name, 15000));
    EXPECT_FALSE(ServiceControlManager::stopService(name, 15000));
    EXPECT_EQ(count("'" + name + "' not registered in SCM database."), 1u);
    EXPECT_EQ(count("Service sent stop command."), 0u);
    EXPECT_EQ(ServiceControlManager::getServicePath(name).peekError(), "Service not present");
    EXPECT_TRUE(mClock->sleeps().empty());
}

// Each row starts the service with a stop behaviour, stops it by name and expects the outcome, the
// line that tells it ("{}" is the service name) and the one-second re-reads of a transition.
TEST_F(ServiceControl, StopOutcomeFollowsTheServiceReports) {
    const struct {
        const wchar_t* behaviour;
        uint32_t waitHintMs;
        DWORD startState;
        bool stops;
        const char* line;
        int rereads;  // -1: as the service's timing has it
    } rows[] = {
        {L"normal", 0, SERVICE_RUNNING, true, "ProcessLauncher: [{}] is running, trying to stop it", 0},
        {L"slow", 3000, SERVICE_RUNNING, true, "Service stopped: '{}'", -1},
        {L"bounce", 3000, SERVICE_RUNNING, false, "Service is in unexpected state: '{}'", 0},
        {L"refuse", 0, SERVICE_RUNNING, false, "Unable to stop service. Service: '{}'", 0},
        {L"stuck-start", 30000, SERVICE_START_PENDING, false, "Launcher: detected service is in between states", 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        mLogger->clear();
        TestService service(row.behaviour, row.waitHintMs, row.startState);
        const std::string image = ServiceControlManager::getServicePath(service.name()).unwrap().utf8();
        EXPECT_NE(image.find("proc_test_service.exe\" " + service.name()), std::string::npos) << image;
        const size_t before = mClock->sleeps().size();
        EXPECT_EQ(apps::stopService(service.name(), 15000), row.stops);
        EXPECT_EQ(count(fmt::format(fmt::runtime(row.line), service.name())), 1u);
        const bool accepted = row.startState == SERVICE_RUNNING && std::wstring_view(row.behaviour) != L"refuse";
        EXPECT_EQ(count("Service sent stop command."), accepted ? 1u : 0u);
        EXPECT_TRUE(service.awaitState(row.stops ? SERVICE_STOPPED : row.startState));
        if (row.rereads >= 0) {
            EXPECT_EQ(sleepsSince(before), Sleeps(row.rereads, 1000ms));
        }
        if (row.stops) {  // and then finds it stopped
            mLogger->clear();
            EXPECT_TRUE(apps::stopService(service.name(), 15000));
            EXPECT_EQ(count("ProcessLauncher: [" + service.name() + "] was already stopped"), 1u);
            EXPECT_EQ(count("Service sent stop command."), 0u);
        }
    }
}

// The pause between re-reads is a tenth of the wait hint, kept between one and two seconds.
TEST_F(ServiceControl, AStopThatStaysPendingTimesOutPacedByTheWaitHint) {
    const struct {
        uint32_t waitHintMs;
        int64_t timeoutMs;
        Sleeps sleeps;
    } rows[] = {{60000, 5000, Sleeps(3, 2000ms)}, {5000, 2500, Sleeps(3, 1000ms)}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.waitHintMs);
        mLogger->clear();
        const size_t start = mClock->sleeps().size();
        TestService service(L"stuck-stop", row.waitHintMs);
        ServiceOpenState open(service.name(), kServiceStopAndQuery, kManagerEnumerate);
        ASSERT_EQ(open.openResult(), OpenResult::Opened);

        EXPECT_FALSE(open.ensureStopped(row.timeoutMs));
        EXPECT_EQ(count("Service sent stop command."), 1u);
        EXPECT_EQ(sleepsSince(start), row.sleeps);
        EXPECT_EQ(count("Timed out while waiting for the service to reach state [7]. Service: '" + service.name() + "'"),
                  1u);

        // Already stop-pending: no second stop request; a timeout of zero does not wait at all.
        mLogger->clear();
        EXPECT_FALSE(open.ensureStopped(0));
        EXPECT_EQ(sleepsSince(start).size(), 3u);
        EXPECT_FALSE(open.ensureStopped(1000));
        EXPECT_EQ(count("Service sent stop command."), 0u);
        EXPECT_EQ(count("Waiting for service..."), 1u);

        // The application layer sees a transition that never ends: five one-second re-reads.
        const size_t before = mClock->sleeps().size();
        EXPECT_FALSE(apps::stopService(service.name(), 15000));
        EXPECT_EQ(sleepsSince(before), Sleeps(5, 1000ms));
        EXPECT_EQ(count("never completed state transition"), 1u);
    }
}

TEST_F(ServiceControl, BackgroundServiceAsExecutableIsStoppedByNameUnlessSeveralMayRun) {
    test::ScopedConfig configuration;
    test::TempFolder folder;
    const auto exe = folder.path().std() / L"KorvBackgroundService.exe";
    test::copySimProgram(exe);
    test::Child child = test::startChild(exe);
    auto& config = kvx::config::configSystem();

    config.setBool(kvx::config::Store::Ordinary, "app.runBgsAsExe", true, kvx::config::kScopeStatic);
    config.setBool(kvx::config::Store::Ordinary, "app.multipleInstances", true, kvx::config::kScopeStatic);
    EXPECT_TRUE(apps::stopBgService(15000));
    EXPECT_EQ(child.exitCode(), STILL_ACTIVE);
    EXPECT_EQ(count("stopping background service as executable"), 0u);

    config.setBool(kvx::config::Store::Ordinary, "app.multipleInstances", false, kvx::config::kScopeStatic);
    EXPECT_TRUE(apps::stopBgService(15000));
    EXPECT_EQ(count("ProcessLauncher: stopping background service as executable"), 1u);
    EXPECT_EQ(child.exitCode(), 9u);
}

}  // namespace
}  // namespace kvx::services::platform
