#include "destager/LoopCheck.h"

#include <gtest/gtest.h>

#include "support/Capture.h"

namespace kvx::apps::destager {
namespace {

constexpr const char* kVersion = "13.696.0.6209";

// Runs the decision as consecutive runs would, each storing its state for the next.
struct Runs {
    LoopCheckState stored;
    LoopDecision run(int32_t result, const char* date = "2026-03-01", const char* version = kVersion) {
        LoopDecision decision = decideUpdateLoop(stored, result, version, date);
        stored = decision.current;
        return decision;
    }
};

TEST(UpdateLoop, FirstRunCountsAsANewTargetVersion) {
    test::ScopedCapturingLogger logger;
    Runs runs;
    auto first = runs.run(0);
    EXPECT_FALSE(first.loopDetected);
    EXPECT_EQ(first.current.updateNumber, 1u);
    EXPECT_EQ(first.current.sameResults, 1u);
    EXPECT_TRUE(first.current.lastSuccessful);
    auto lines = logger->linesContaining("Updating to a new target version, resetting counter. Prev. target[]");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].function, "shouldResetCounter");
}

TEST(UpdateLoop, DetectedOnTheRunThatCompletesAPattern) {
    struct Case {
        const char* name;
        std::vector<int32_t> results;
        std::string logged;
    };
    const Case cases[] = {
        {"fourth success",
         {0, 0, 0, 0},
         "Update loop detected, 4 consecutive successes in a row. Total attempts[4]"},
        // The failure count starts at the first failure after a success.
        {"fourth failure",
         {0, 7, 7, 7, 7},
         "Update loop detected, 4 consecutive failures in a row. Total attempts[5]"},
        {"alternating",
         {0, 1, 0, 1, 0, 1, 0},
         "Update loop detected, flipping between success and failure. Total attempts[7]"},
    };
    for (const Case& c : cases) {
        test::ScopedCapturingLogger logger;
        Runs runs;
        for (size_t i = 0; i + 1 < c.results.size(); ++i) {
            EXPECT_FALSE(runs.run(c.results[i]).loopDetected) << c.name << ", run " << i + 1;
        }
        EXPECT_TRUE(runs.run(c.results.back()).loopDetected) << c.name;
        EXPECT_EQ(logger->linesContaining("Update loop detected"),
                  (std::vector<test::LoggedLine>{
                      {services::logging::Warn, "kvx::apps::destager::isUpdateLoopDetected", c.logged}}))
            << c.name;
    }
}

TEST(UpdateLoop, NewDayOrNewVersionResetsAndNeverLoops) {
    test::ScopedCapturingLogger logger;
    Runs runs;
    for (int i = 0; i < 10; ++i) {
        runs.run(3);
    }
    auto nextDay = runs.run(3, "2026-03-02");
    EXPECT_FALSE(nextDay.loopDetected);
    EXPECT_EQ(nextDay.current.updateNumber, 1u);
    EXPECT_EQ(nextDay.current.sameResults, 1u);
    EXPECT_EQ(logger->linesContaining("New day since we last tried an update, resetting counter. Prev. date[2026-03-01]")
                  .size(),
              1u);
    for (int i = 0; i < 5; ++i) {
        runs.run(3, "2026-03-02");
    }
    auto newVersion = runs.run(3, "2026-03-02", "13.697.0.1");
    EXPECT_FALSE(newVersion.loopDetected);
    EXPECT_EQ(newVersion.current.targetVersion, "13.697.0.1");
    EXPECT_EQ(newVersion.current.updateNumber, 1u);
}

TEST(UtcDateText, FormatsAroundMidnight) {
    constexpr int64_t kSecond = 1'000'000'000;
    EXPECT_EQ(utcDateText(1'772'323'200 * kSecond), "2026-03-01");
    EXPECT_EQ(utcDateText(1'772'323'200 * kSecond - 1), "2026-02-28");
    EXPECT_EQ(utcDateText(0), "1970-01-01");
}

}  // namespace
}  // namespace kvx::apps::destager
