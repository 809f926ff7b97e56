// The repair state's codes and telemetry, with the stop given by the test: ending real processes is
// the process tests' business, here only what the record of a stop turns into is checked.
#include "destager/RepairState.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "destager/StepTestSupport.h"

namespace kvx::apps::destager::internal {
namespace {

using services::logging::Error;
using services::logging::Info;
using services::logging::Warn;
using suite::RepairStateResult;
using test::Texts;

class RepairStateTest : public test::StepFixture {
protected:
    // A stop that leaves `survivors` running. The suite is down when one way of stopping (by path or
    // by name) succeeded; such a stop also fails to change the availability, to report all at once.
    static RepairStateStop stopLeaving(std::vector<std::string> survivors, bool bgsStopFailed = false,
                                       bool byPathStopped = false, bool byNameStopped = false) {
        return [=](RepairStateResult& result) {
            result.availabilityChanged = !(byPathStopped || byNameStopped);
            result.suiteProcessesStopped = byPathStopped;
            result.knownExecutablesStopped = byNameStopped;
            result.bgsStopFailed = bgsStopFailed;
            result.failedToStop.insert(survivors.begin(), survivors.end());
            return byPathStopped || byNameStopped;
        };
    }
};

TEST_F(RepairStateTest, SurvivorNamesTheCodeClientFirst) {
    const std::vector<std::pair<std::vector<std::string>, int32_t>> cases{
        {{"KorvLauncher.exe", "KorvDesktop.exe"}, 8},
        {{"KorvLauncher.exe", "KorvGEP.exe"}, 7},
        {{"KorvLaunchHelper.exe"}, 9},
        {{"KorvConnect_microsoft.exe", "KorvLocalHostSvc.exe"}, 10},
        {{"KorvLocalHostSvc.exe"}, 11},
        {{"korvdesktop.exe"}, 12},  // names are exact: another letter case is just another survivor
    };
    for (const auto& [survivors, code] : cases) {
        EXPECT_EQ(enterRepairState(stopLeaving(survivors)), code) << survivors.front();
    }
}

TEST_F(RepairStateTest, UnnamedSurvivorsGive12AndAreEachLogged) {
    EXPECT_EQ(enterRepairState(stopLeaving({"KorvGEP.exe", "C:\\Korv\\Helper.exe"})), 12);
    const Texts errors = messagesAt(Error);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0],
              "Unspecified failure while shutting down apps/entering repair state. remainingExeCount[2]");
    EXPECT_EQ(std::set<std::string>(errors.begin() + 1, errors.end()),
              (std::set<std::string>{"Failed to shut down exe[KorvGEP.exe]",
                                     "Failed to shut down exe[C:\\Korv\\Helper.exe]"}));
    const Texts diagnostics = messagesAt(Info);
    EXPECT_TRUE(diagnostics == Texts{"UPEC-2299: Failed to stop 2 exes [KorvGEP.exe,C:\\Korv\\Helper.exe]"} ||
                diagnostics == Texts{"UPEC-2299: Failed to stop 2 exes [C:\\Korv\\Helper.exe,KorvGEP.exe]"});
}

// The failure is logged as errors, what the stop reports as diagnostics (at Info, not Warn). With
// nobody left the service decides the code; a suite that went down is 0 whatever failed on
// the way, and what failed is still reported.
TEST_F(RepairStateTest, WithoutSurvivorsTheServiceOrTheStopDecides) {
    const auto expect = [this](const RepairStateStop& stop, int32_t code, const Texts& errors,
                               const Texts& diagnostics) {
        mLogger->clear();
        EXPECT_EQ(enterRepairState(stop), code);
        EXPECT_EQ(messagesAt(Error), errors) << code;
        EXPECT_EQ(messagesAt(Info), diagnostics) << code;
    };
    const std::string unspecified =
        "Unspecified failure while shutting down apps/entering repair state. remainingExeCount[0]";
    expect(stopLeaving({}), 14, {unspecified}, {});
    expect(stopLeaving({}, true), 17, {unspecified}, {"UPEC-2299: Failed to stop BGS"});
    expect(stopLeaving({"KorvDesktop.exe"}, false, false, true), 0, {},
           {"UPEC-2299: Failed to set 3rd party availability",
            "UPEC-2299: Partial failure entering repair state [full suite step]",
            "UPEC-2299: Failed to stop 1 exes [KorvDesktop.exe]"});
    expect(stopLeaving({}, false, true, false), 0, {},
           {"UPEC-2299: Failed to set 3rd party availability",
            "UPEC-2299: Partial failure entering repair state [known exe step]"});
}

TEST_F(RepairStateTest, SuiteUnavailableRetriesTenTimes25msApartThenReports) {
    int calls = 0;
    setSuiteUnavailable([&calls] { return ++calls == 3; });
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(messagesAt(Warn).empty());

    calls = 0;
    setSuiteUnavailable([&calls] { return ++calls == 0; });
    EXPECT_EQ(calls, 10);
    EXPECT_EQ(mClock->sleeps(), std::vector<std::chrono::milliseconds>(2 + 9, std::chrono::milliseconds(25)));
    EXPECT_EQ(mLogger->linesContaining("UPEC-2208"),
              (std::vector<test::LoggedLine>{{Warn, "kvx::apps::addErrorTelemetryImpl",
                                              "UPEC-2208: Failed to set third party availability"}}));
    EXPECT_EQ(mLogger->linesContaining("Setting suite as unavailable to third parties").size(), 2u);
}

}  // namespace
}  // namespace kvx::apps::destager::internal
