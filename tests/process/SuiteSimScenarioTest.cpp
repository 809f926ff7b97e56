// The repair-state stop against the suite as it runs on a user's machine, played by the suite
// simulator: its programs in a temporary install folder, one of them keeping a DLL of its folder
// loaded, and the background service as a real service. The service is registered under a name of
// this test, because the real name would clash with other tests in the shared Wine prefix; so the
// repair state is pointed at it through the "run the background service as an executable" setting,
// and the service-manager stop is exercised by the same function with the test's service name.
// These tests wait real time (a few seconds): the service reports its stop at its own pace.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include <windows.h>
#include <tlhelp32.h>

#include "framework/config/ConfigSystem.h"
#include "process/BackgroundService.h"
#include "process/ProcessTestSupport.h"
#include "process/SuiteProcesses.h"
#include "support/Capture.h"

namespace kvx::apps::suite {
namespace {

using namespace std::chrono_literals;

const wchar_t* const kSimPrograms[] = {
    L"KorvDesktop.exe",  L"KorvLauncher.exe", L"KorvLaunchHelper.exe", L"KorvConnect_microsoft.exe",
    L"KorvLocalHostSvc.exe", L"Link2Korv.exe", L"FaultReporter.exe", L"KorvUpdater.exe",
    L"KorvUninstall.exe", L"KorvBackgroundService.exe", L"KorvSimModule.dll"};

// The simulator is built into <build>/suite-sim, beside the folder of the test executables.
std::filesystem::path simFolder() { return test::helperPath(L"x").parent_path().parent_path() / L"suite-sim"; }

std::wstring lower(std::wstring text) {
    for (auto& c : text) {
        c = static_cast<wchar_t>(towlower(c));
    }
    return text;
}

// The lower-case names of the running processes that are suite programs.
std::set<std::wstring> runningSuitePrograms() {
    std::set<std::wstring> suite;
    for (const wchar_t* program : kSimPrograms) {
        suite.insert(lower(program));
    }
    std::set<std::wstring> running;
    WinUtils::AutoHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (suite.count(lower(entry.szExeFile)) != 0) {
            running.insert(lower(entry.szExeFile));
        }
    }
    return running;
}

bool hasModule(DWORD pid, const std::wstring& lowerName) {
    WinUtils::AutoHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Module32FirstW(snapshot.get(), &entry); more; more = Module32NextW(snapshot.get(), &entry)) {
        if (lower(entry.szModule) == lowerName) {
            return true;
        }
    }
    return false;
}

template <typename Predicate>
bool within(std::chrono::milliseconds limit, Predicate done) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        Sleep(50);
    }
    return true;
}

// The simulated background service with a stop behaviour.
class SimService : public test::ServiceUnderTest {
public:
    SimService(const std::filesystem::path& exe, const std::wstring& behaviour)
        : ServiceUnderTest("KvxSimBgs", [&](const std::wstring& name) {
              return L"\"" + exe.wstring() + L"\" --service=" + name + L" --lifetime=60000 " + behaviour;
          }) {}
};

class SuiteSimScenario : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(mClient);
        std::filesystem::create_directories(mElsewhere);
        for (const wchar_t* program : kSimPrograms) {
            std::filesystem::copy_file(simFolder() / program, mClient / program);
        }
        std::filesystem::copy_file(simFolder() / L"Link2Korv.exe", mElsewhere / L"Link2Korv.exe");
        std::filesystem::copy_file(simFolder() / L"KorvDesktop.exe", mElsewhere / L"NotSuite.exe");
        std::ofstream(mClient / L"KorvDesktop.exe.sim") << "dll=KorvSimModule.dll\n";
    }

    void TearDown() override {
        for (auto& child : mChildren) {
            test::killChild(child);
        }
    }

    test::Child& start(const std::filesystem::path& exe) {
        mChildren.push_back(test::startChild(exe, L"--lifetime=60000 --record=\"" + mRecord.wstring() + L"\""));
        return mChildren.back();
    }

    std::vector<std::string> recordLines() const {
        std::ifstream in(mRecord);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    test::ScopedCapturingLogger mLogger;
    test::ScopedConfig mConfig;
    test::TempFolder mRoot;
    test::TempFolder mOutside;  // beside the install folder, not in it
    std::filesystem::path mClient = mRoot.path().std() / L"Korv Desktop";
    std::filesystem::path mElsewhere = mOutside.path().std() / L"elsewhere";
    std::filesystem::path mRecord = mRoot.path().std() / L"starts.txt";
    test::ScopedInstallLocation mLocation{mRoot.path().std().wstring() + L"\\"};
    std::deque<test::Child> mChildren;
};

TEST_F(SuiteSimScenario, RepairStateLeavesNoSuiteProgramRunning) {
    config::configSystem().setBool(config::Store::Ordinary, "app.runBgsAsExe", true, config::kScopeStatic);
    SimService service(mClient / L"KorvBackgroundService.exe", L"--stop=refuse");
    for (const wchar_t* program : {L"KorvDesktop.exe", L"KorvLauncher.exe", L"KorvLaunchHelper.exe",
                                   L"KorvConnect_microsoft.exe", L"KorvLocalHostSvc.exe"}) {
        start(mClient / program);
    }
    start(mElsewhere / L"Link2Korv.exe");
    auto& unrelated = start(mElsewhere / L"NotSuite.exe");
    // Each program records its start, then the client loads the DLL named in KorvDesktop.exe.sim.
    ASSERT_TRUE(within(10s, [&] { return recordLines().size() == 7; })) << recordLines().size();
    ASSERT_TRUE(within(5s, [&] { return hasModule(mChildren.front().pid, L"korvsimmodule.dll"); }));
    for (const auto& child : mChildren) {
        ASSERT_EQ(test::exitCodeOf(child), STILL_ACTIVE) << "a simulated program failed to start or load its DLL";
    }
    EXPECT_EQ(runningSuitePrograms().size(), 7u);

    RepairStateResult result;
    result.failedToStop.clear();
    EXPECT_TRUE(enterRepairStateProcesses(kStopModeRepair, 0, result));
    EXPECT_TRUE(result.suiteProcessesStopped);
    EXPECT_TRUE(result.knownExecutablesStopped);
    EXPECT_FALSE(result.bgsStopFailed);
    EXPECT_TRUE(result.failedToStop.empty());
    // Termination completes asynchronously; the test process itself is still here to look.
    EXPECT_TRUE(within(5s, [] { return runningSuitePrograms().empty(); }))
        << "still running: " << runningSuitePrograms().size();
    for (const auto& child : mChildren) {
        if (&child != &unrelated) {
            EXPECT_NE(test::exitCodeOf(child), STILL_ACTIVE);
        }
    }
    EXPECT_EQ(test::exitCodeOf(unrelated), STILL_ACTIVE) << "a program neither in the install folder nor of a suite name";
}

// Each case starts the service with a stop behaviour, stops it by name and expects the outcome (a stop
// that stays pending is ServiceControlTest's, on the test clock).
TEST_F(SuiteSimScenario, ServiceStopFollowsTheServiceReports) {
    {
        SimService slow(mClient / L"KorvBackgroundService.exe", L"--stop=slow --waitHint=3000 --stopDelay=1000");
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_TRUE(stopService(slow.name(), 15000));
        EXPECT_GE(std::chrono::steady_clock::now() - begin, 900ms);
        EXPECT_EQ(slow.state(), static_cast<DWORD>(SERVICE_STOPPED));
    }
    {
        SimService refusing(mClient / L"KorvBackgroundService.exe", L"--stop=refuse");
        EXPECT_FALSE(stopService(refusing.name(), 1500));
        EXPECT_EQ(refusing.state(), static_cast<DWORD>(SERVICE_RUNNING));
    }
}

}  // namespace
}  // namespace kvx::apps::suite
