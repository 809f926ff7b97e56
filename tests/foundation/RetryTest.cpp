#include "foundation/Retry.h"

#include <gtest/gtest.h>

#include <numeric>

#include "support/TestClock.h"

namespace kvx::foundation {
namespace {

using std::chrono::milliseconds;

TEST(TryUntilOk, SucceedsOnThirdAttemptAfterTwoReportedFailures) {
    test::ScopedTestClock clock;
    FixedLengthWait schedule = folderStepSchedule();
    int runs = 0;
    std::vector<uint8_t> failed;
    EXPECT_TRUE(tryUntilOk([&] { return ++runs == 3; }, [&](uint8_t a) { failed.push_back(a); }, schedule));
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(failed, (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(clock->sleeps(), (std::vector<milliseconds>{milliseconds(1000), milliseconds(1000)}));
}

TEST(TryUntilOk, GivesUpAfterFiveAttemptsReportingTheLastOne) {
    test::ScopedTestClock clock;
    FixedLengthWait schedule = folderStepSchedule();
    int runs = 0;
    std::vector<uint8_t> failed;
    EXPECT_FALSE(tryUntilOk([&] { return ++runs < 0; }, [&](uint8_t a) { failed.push_back(a); }, schedule));
    EXPECT_EQ(runs, 5);
    EXPECT_EQ(failed, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(clock->sleeps().size(), 4u);
    EXPECT_EQ(clock->monotonicNow() - std::chrono::hours(1), milliseconds(4000));
}

TEST(TryUntilOk, FirstAttemptSuccessNeitherReportsNorSleeps) {
    test::ScopedTestClock clock;
    FixedLengthWait schedule(1, milliseconds(5));
    bool reported = false;
    EXPECT_TRUE(tryUntilOk([] { return true; }, [&](uint8_t) { reported = true; }, schedule));
    EXPECT_FALSE(reported);
    EXPECT_TRUE(clock->sleeps().empty());
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
