#include "foundation/Retry.h"

#include <gtest/gtest.h>

#include <algorithm>

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

}  // namespace
}  // namespace kvx::foundation
