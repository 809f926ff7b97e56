#include "foundation/Retry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "support/TestClock.h"

namespace kvx::foundation {
namespace {

using std::chrono::milliseconds;

TEST(TryUntilOk, ReportsEachFailedAttemptAndSleepsBetweenAttempts) {
    struct Row {
        int succeedingRun;  // 0: never
        bool ok;
        int runs;
        std::vector<uint8_t> failed;
    };
    for (const Row& row : {Row{1, true, 1, {}}, Row{3, true, 3, {1, 2}}, Row{0, false, 5, {1, 2, 3, 4, 5}}}) {
        SCOPED_TRACE(row.runs);
        test::ScopedTestClock clock;
        FixedLengthWait schedule = folderStepSchedule();
        int runs = 0;
        std::vector<uint8_t> failed;
        EXPECT_EQ(tryUntilOk([&] { return ++runs == row.succeedingRun; },
                             [&](uint8_t a) { failed.push_back(a); }, schedule),
                  row.ok);
        EXPECT_EQ(runs, row.runs);
        EXPECT_EQ(failed, row.failed);
        // No sleep after the last attempt, whether it succeeded or not.
        EXPECT_EQ(clock->sleeps(), std::vector<milliseconds>(std::min(row.runs - 1, 4), milliseconds(1000)));
        EXPECT_EQ(clock->monotonicNow() - std::chrono::hours(1),
                  milliseconds(1000 * std::min(row.runs - 1, 4)));
    }
}

TEST(ExponentialBackoff, TenTrySchedule) {
    ExponentialBackoff backoff(10, 1000, 1.75f, 15000);
    std::vector<int64_t> waits;
    while (auto wait = backoff.nextStep()) {
        waits.push_back(wait->count());
    }
    EXPECT_EQ(waits, (std::vector<int64_t>{1000, 1750, 3062, 5358, 9376, 15000, 15000, 15000, 15000}));
    EXPECT_EQ(std::accumulate(waits.begin(), waits.end(), int64_t{0}), 80546);
    EXPECT_FALSE(backoff.nextStep()) << "stays stopped";
}

TEST(ExponentialBackoff, DrivesTryUntilOkThroughTheClock) {
    test::ScopedTestClock clock;
    ExponentialBackoff backoff(3, 100, 2.0f, 150);
    int runs = 0;
    EXPECT_FALSE(tryUntilOk([&] { return ++runs > 5; }, nullptr, backoff));
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(clock->sleeps(), (std::vector<milliseconds>{milliseconds(100), milliseconds(150)}));
}

}  // namespace
}  // namespace kvx::foundation
