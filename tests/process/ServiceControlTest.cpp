// Against Wine's real service control manager with services of our own; sleeps run on the test clock.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <chrono>
#include <optional>

#include "foundation/TextConversion.h"
#include "process/BackgroundService.h"
#include "process/ProcessTestSupport.h"
#include "process/ServiceControlManager.h"
#include "process/Win32Service.h"
#include "support/Capture.h"
#include "support/TestClock.h"

namespace kvx::services::platform {
namespace {

using namespace std::chrono_literals;
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

}  // namespace
}  // namespace kvx::services::platform
