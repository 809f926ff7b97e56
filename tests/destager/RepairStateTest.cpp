// The repair state's codes and telemetry from a stop the test gives (real stops: the process tests).
#include "destager/RepairState.h"

#include <gtest/gtest.h>

#include "destager/StepTestSupport.h"

namespace kvx::apps::destager::internal {
namespace {

using services::logging::Error;
using services::logging::Info;
using services::logging::Warn;
using test::Texts;

// Leaves `survivors`; down when stopped by path or by name, which then fails the availability change too.
RepairStateStop stopLeaving(std::vector<std::string> survivors, bool bgsStopFailed = false,
                            bool byPathStopped = false, bool byNameStopped = false) {
    return [=](suite::RepairStateResult& result) {
        result.availabilityChanged = !(byPathStopped || byNameStopped);
        result.suiteProcessesStopped = byPathStopped;
        result.knownExecutablesStopped = byNameStopped;
        result.bgsStopFailed = bgsStopFailed;
        result.failedToStop.insert(survivors.begin(), survivors.end());
        return byPathStopped || byNameStopped;
    };
}

using RepairStateTest = test::StepFixture;

TEST_F(RepairStateTest, SurvivorNamesTheCodeClientFirst) {
    const std::pair<std::vector<std::string>, int32_t> rows[] = {
        {{"KorvLauncher.exe", "KorvDesktop.exe"}, 8},
        {{"KorvLauncher.exe", "KorvGEP.exe"}, 7},
        {{"KorvLaunchHelper.exe"}, 9},
        {{"KorvConnect_microsoft.exe", "KorvLocalHostSvc.exe"}, 10},
        {{"KorvLocalHostSvc.exe"}, 11},
        {{"korvdesktop.exe"}, 12},  // names are exact: another letter case is just another survivor
    };
    for (const auto& [survivors, code] : rows) {
        EXPECT_EQ(enterRepairState(stopLeaving(survivors)), code) << survivors.front();
    }
}

// Failures and each unnamed survivor are errors, the stop's report diagnostics (Info). Without survivors
// the service decides; a suite that went down is 0, what failed on the way still reported.
TEST_F(RepairStateTest, UnnamedSurvivorsTheServiceOrTheStopDecide) {
    const std::string unspecified =
        "Unspecified failure while shutting down apps/entering repair state. remainingExeCount[";
    const std::tuple<RepairStateStop, int32_t, Texts, Texts> rows[] = {
        {stopLeaving({"C:\\Korv\\Helper.exe"}),
         12,
         {unspecified + "1]", "Failed to shut down exe[C:\\Korv\\Helper.exe]"},
         {"UPEC-2299: Failed to stop 1 exes [C:\\Korv\\Helper.exe]"}},
        {stopLeaving({}), 14, {unspecified + "0]"}, {}},
        {stopLeaving({}, true), 17, {unspecified + "0]"}, {"UPEC-2299: Failed to stop BGS"}},
        {stopLeaving({"KorvDesktop.exe"}, false, false, true),
         0,
         {},
         {"UPEC-2299: Failed to set 3rd party availability",
          "UPEC-2299: Partial failure entering repair state [full suite step]",
          "UPEC-2299: Failed to stop 1 exes [KorvDesktop.exe]"}},
        {stopLeaving({}, false, true, false),
         0,
         {},
         {"UPEC-2299: Failed to set 3rd party availability",
          "UPEC-2299: Partial failure entering repair state [known exe step]"}},
    };
    for (const auto& [stop, code, errors, diagnostics] : rows) {
        mLogger->clear();
        EXPECT_EQ(enterRepairState(stop), code);
        EXPECT_EQ(messagesAt(Error), errors) << code;
        EXPECT_EQ(messagesAt(Info), diagnostics) << code;
    }
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
