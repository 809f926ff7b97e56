// The repair state's codes and telemetry, with the stop given by the test: ending real processes is
// the process tests' business, here only what the record of a stop turns into is checked.
#include "destager/RepairState.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "foundation/Singleton.h"
#include "framework/config/ConfigSystem.h"
#include "support/Capture.h"
#include "support/TestClock.h"

namespace kvx::apps::destager::internal {
namespace {

using foundation::utils::Singleton;
using suite::RepairStateResult;

class RepairStateTest : public ::testing::Test {
protected:
    RepairStateTest() { Singleton<config::ConfigSystem>::create(); }
    ~RepairStateTest() override { Singleton<config::ConfigSystem>::destroy(); }

    // A failed stop that leaves `survivors` running.
    static RepairStateStop failingWith(std::vector<std::string> survivors, bool bgsStopFailed = false) {
        return [survivors = std::move(survivors), bgsStopFailed](RepairStateResult& result) {
            result.suiteProcessesStopped = false;
            result.knownExecutablesStopped = false;
            result.bgsStopFailed = bgsStopFailed;
            result.failedToStop.insert(survivors.begin(), survivors.end());
            return false;
        };
    }
    std::vector<std::string> telemetryMessages(const char* id) {
        std::vector<std::string> messages;
        for (const auto& line : mLogger->linesContaining(id)) {
            messages.push_back(line.message.substr(line.message.find(": ") + 2));
        }
        return messages;
    }
    std::vector<std::string> errorLines() {
        std::vector<std::string> messages;
        for (const auto& line : mLogger->lines()) {
            if (line.function == "kvx::apps::destager::internal::enterRepairState") {
                EXPECT_EQ(line.level, services::logging::Error);
                messages.push_back(line.message);
            }
        }
        return messages;
    }

    test::ScopedTestClock mClock;
    test::ScopedCapturingLogger mLogger;
};

TEST_F(RepairStateTest, SurvivorNamesTheCodeClientFirst) {
    const std::vector<std::pair<std::vector<std::string>, int32_t>> cases{
        {{"KorvLauncher.exe", "KorvDesktop.exe"}, 8},
        {{"KorvDesktop.exe"}, 8},
        {{"KorvLauncher.exe", "KorvGEP.exe"}, 7},
        {{"KorvLaunchHelper.exe"}, 9},
        {{"KorvConnect_microsoft.exe", "KorvLocalHostSvc.exe"}, 10},
        {{"KorvLocalHostSvc.exe"}, 11},
    };
    for (const auto& [survivors, code] : cases) {
        EXPECT_EQ(enterRepairState(failingWith(survivors)), code) << survivors.front();
    }
    // Names are exact: another letter case is just another survivor.
    EXPECT_EQ(enterRepairState(failingWith({"korvdesktop.exe"})), 12);
}

TEST_F(RepairStateTest, OtherSurvivorsGive12AndAreEachNamed) {
    EXPECT_EQ(enterRepairState(failingWith({"KorvGEP.exe", "C:\\Korv\\Korv Desktop\\Helper.exe"})), 12);

    const std::vector<std::string> lines = errorLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              "Unspecified failure while shutting down apps/entering repair state. remainingExeCount[2]");
    EXPECT_EQ(std::set<std::string>(lines.begin() + 1, lines.end()),
              (std::set<std::string>{"Failed to shut down exe[KorvGEP.exe]",
                                     "Failed to shut down exe[C:\\Korv\\Korv Desktop\\Helper.exe]"}));
    const std::vector<std::string> telemetry = telemetryMessages("UPEC-2299: ");
    ASSERT_EQ(telemetry.size(), 1u);
    EXPECT_TRUE(telemetry[0] == "Failed to stop 2 exes [KorvGEP.exe,C:\\Korv\\Korv Desktop\\Helper.exe]" ||
                telemetry[0] == "Failed to stop 2 exes [C:\\Korv\\Korv Desktop\\Helper.exe,KorvGEP.exe]")
        << telemetry[0];
}

TEST_F(RepairStateTest, NoSurvivorLeftDependsOnTheService) {
    EXPECT_EQ(enterRepairState(failingWith({})), 14);
    EXPECT_EQ(
        errorLines(),
        (std::vector<std::string>{
            "Unspecified failure while shutting down apps/entering repair state. remainingExeCount[0]"}));
    EXPECT_TRUE(telemetryMessages("UPEC-2299: ").empty());

    mLogger->clear();
    EXPECT_EQ(enterRepairState(failingWith({}, true)), 17);
    EXPECT_EQ(errorLines().size(), 1u);
    EXPECT_EQ(telemetryMessages("UPEC-2299: "), (std::vector<std::string>{"Failed to stop BGS"}));
}

TEST_F(RepairStateTest, StoppedSuiteIsZeroAndStillReportsWhatFailed) {
    auto partial = [](bool byPathStopped) {
        return [byPathStopped](RepairStateResult& result) {
            result.availabilityChanged = false;
            result.suiteProcessesStopped = byPathStopped;
            result.knownExecutablesStopped = !byPathStopped;
            result.failedToStop.insert("KorvDesktop.exe");
            return true;
        };
    };
    EXPECT_EQ(enterRepairState(partial(false)), 0);
    EXPECT_EQ(enterRepairState(partial(true)), 0);

    EXPECT_TRUE(errorLines().empty());
    EXPECT_EQ(
        telemetryMessages("UPEC-2299: "),
        (std::vector<std::string>{
            "Failed to set 3rd party availability", "Partial failure entering repair state [full suite step]",
            "Failed to stop 1 exes [KorvDesktop.exe]", "Failed to set 3rd party availability",
            "Partial failure entering repair state [known exe step]",
            "Failed to stop 1 exes [KorvDesktop.exe]"}));
    // Diagnostics, not warnings.
    for (const auto& line : mLogger->linesContaining("UPEC-2299: ")) {
        EXPECT_EQ(line.level, services::logging::Info);
    }
}

TEST_F(RepairStateTest, SuiteUnavailableRetriesTenTimes25msApartThenReports) {
    int calls = 0;
    setSuiteUnavailable([&calls] { return ++calls == 3; });
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(mClock->sleeps().size(), 2u);
    EXPECT_TRUE(mLogger->linesContaining("UPEC-2208").empty());

    calls = 0;
    setSuiteUnavailable([&calls] { return ++calls == 0; });
    EXPECT_EQ(calls, 10);
    EXPECT_EQ(mClock->sleeps(), std::vector<std::chrono::milliseconds>(2 + 9, std::chrono::milliseconds(25)));
    EXPECT_EQ(mLogger->linesContaining("UPEC-2208"),
              (std::vector<test::LoggedLine>{{services::logging::Warn, "kvx::apps::addErrorTelemetryImpl",
                                              "UPEC-2208: Failed to set third party availability"}}));
    EXPECT_EQ(mLogger->linesContaining("Setting suite as unavailable to third parties").size(), 2u);
}

}  // namespace
}  // namespace kvx::apps::destager::internal
