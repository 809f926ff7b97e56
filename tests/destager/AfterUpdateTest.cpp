// A run's closing decisions: whether it makes an update loop (stored between runs: end to end), what follows.
#include <gtest/gtest.h>

#include "destager/AfterUpdatePlan.h"
#include "destager/LoopCheck.h"
#include "support/Capture.h"

namespace kvx::apps::destager {
namespace {

constexpr const char* kVersion = "13.696.0.6209";

// Runs of a day, each from the state the one before stored (0 is success; the last may come on another
// day or for another version): only the last may be a loop; what it stored and logged.
void expectLastRun(std::initializer_list<int32_t> results, bool loop, uint32_t updateNumber,
                   uint32_t sameResults, const std::string& logged, const char* lastDate = "2026-03-01",
                   const char* lastVersion = kVersion) {
    SCOPED_TRACE(logged);
    test::ScopedCapturingLogger logger;
    LoopDecision decision{};
    for (size_t run = 0; run < results.size(); ++run) {
        EXPECT_FALSE(decision.loopDetected) << "run " << run;
        logger->clear();
        const bool last = run + 1 == results.size();
        decision = decideUpdateLoop(decision.current, results.begin()[run], last ? lastVersion : kVersion,
                                    last ? lastDate : "2026-03-01");
    }
    EXPECT_EQ(decision.loopDetected, loop);
    EXPECT_EQ(std::pair(decision.current.updateNumber, decision.current.sameResults),
              std::pair(updateNumber, sameResults));
    const test::LoggedLine line =
        loop ? test::LoggedLine{services::logging::Warn, "kvx::apps::destager::isUpdateLoopDetected", logged}
             : test::LoggedLine{services::logging::Info, "shouldResetCounter", logged};
    EXPECT_EQ(logger->lines(), std::vector{line});
}

TEST(UpdateLoop, DetectedOnTheRunThatCompletesAPatternAndResetByANewDayOrVersion) {
    expectLastRun({0, 0, 0, 0}, true, 4, 4,
                  "Update loop detected, 4 consecutive successes in a row. Total attempts[4]");
    // The failure count starts at the first failure after a success.
    expectLastRun({0, 7, 7, 7, 7}, true, 5, 4,
                  "Update loop detected, 4 consecutive failures in a row. Total attempts[5]");
    expectLastRun({0, 1, 0, 1, 0, 1, 0}, true, 7, 1,
                  "Update loop detected, flipping between success and failure. Total attempts[7]");
    expectLastRun({0}, false, 1, 1, "Updating to a new target version, resetting counter. Prev. target[]");
    expectLastRun({3, 3, 3, 3}, false, 1, 1,
                  "New day since we last tried an update, resetting counter. Prev. date[2026-03-01]",
                  "2026-03-02");
    expectLastRun({3, 3, 3, 3}, false, 1, 1,
                  "Updating to a new target version, resetting counter. Prev. target[13.696.0.6209]",
                  "2026-03-01", "13.697.0.1");
}

TEST(UtcDateText, FormatsAroundMidnight) {
    constexpr int64_t kSecond = 1'000'000'000;
    EXPECT_EQ(utcDateText(1'772'323'200 * kSecond), "2026-03-01");
    EXPECT_EQ(utcDateText(1'772'323'200 * kSecond - 1), "2026-02-28");
}

// "repair" (protocols and availability), "relaunch", "reset" (attempt tracking), the loop's warning.
std::string planned(int32_t result, Action action, bool loop) {
    const AfterUpdatePlan plan = planAfterUpdate(result, action, loop);
    return std::string(plan.repairProtocolsAndAvailability ? "repair " : "") +
           (plan.relaunch ? "relaunch " : "") + (plan.resetAttemptTracking ? "reset " : "") +
           plan.loopWarning.value_or("");
}

TEST(AfterUpdatePlan, RepairRelaunchAndResetFollowResultActionAndLoop) {
    // A successful update leaves availability and protocols alone but relaunches.
    EXPECT_EQ(planned(0, Action::Update, false), "relaunch reset ");
    EXPECT_EQ(planned(6, Action::Update, false), "repair relaunch ");
    EXPECT_EQ(planned(0, Action::Install, false), "repair relaunch reset ");
    EXPECT_EQ(planned(0, Action::Repair, false), "repair relaunch reset ");
    EXPECT_EQ(planned(22, Action::Repair, false), "repair relaunch ");
    // A loop stops both repair and relaunch and leaves the counters as they are.
    EXPECT_EQ(planned(0, Action::Update, true), "Skipping BGS/client relaunch to break update loop");
    EXPECT_EQ(planned(6, Action::Install, true), "Skipping protocol repair to break update loop");
}

}  // namespace
}  // namespace kvx::apps::destager
