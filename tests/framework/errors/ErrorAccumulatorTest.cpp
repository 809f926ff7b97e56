#include "framework/errors/ErrorAccumulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "RecordingSink.h"
#include "framework/config/ConfigSystem.h"
#include "support/Capture.h"
#include "support/TestClock.h"

namespace kvx {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

class ErrorAccumulatorTest : public ::testing::Test {
protected:
    // Every severity that crossed its threshold, in order, as the handlers saw it.
    void watch(ErrorAccumulator& accumulator) {
        accumulator.addThresholdHandler([this](ErrorSeverity severity) { mCrossed.push_back(severity); });
    }
    size_t linesWith(std::string_view text) { return mLogger->linesContaining(text).size(); }

    test::ScopedTestClock mClock;
    test::ScopedCapturingLogger mLogger;
    test::ScopedRecordingSink mSink;
    test::ScopedAssertCapture mAsserts;
    config::ConfigSystem mConfig;
    std::vector<ErrorSeverity> mCrossed;
};

TEST_F(ErrorAccumulatorTest, ConfigurationHasTheDefaultsAndReadsEachKey) {
    using enum ErrorSeverity;
    EXPECT_EQ(readErrorAccumulatorConfiguration(mConfig),
              (ErrorAccumulatorConfiguration{{Critical, {0, 1}}, {Major, {30, 2}}, {Minor, {30, 5}}}));

    const std::pair<const char*, const char*> settings[] = {
        {"app.errorTimeWindowCritical", "12"}, {"app.errorEventCountCritical", "3"},
        {"app.errorTimeWindowMajor", "0"},     {"app.errorEventCountMajor", "4"},
        {"app.errorTimeWindowMinor", "60"},    {"app.errorEventCountMinor", "0"},
    };
    for (const auto& [key, value] : settings) {
        mConfig.set(config::Store::Ordinary, key, value, config::kScopeStatic);
    }
    EXPECT_EQ(readErrorAccumulatorConfiguration(mConfig),
              (ErrorAccumulatorConfiguration{{Critical, {12, 3}}, {Major, {0, 4}}, {Minor, {60, 0}}}));
}

TEST_F(ErrorAccumulatorTest, FirstCriticalCrossesAtOnceAndASecondDoesNothingMore) {
    ErrorAccumulator accumulator(readErrorAccumulatorConfiguration(mConfig));
    watch(accumulator);
    accumulator.reportEvent(ErrorSeverity::Critical, "disk gone");
    EXPECT_THAT(mCrossed, ElementsAre(ErrorSeverity::Critical));
    EXPECT_TRUE(accumulator.hasTriggered(ErrorSeverity::Critical));
    EXPECT_THAT(mSink->appEvents(), ElementsAre(2));
    auto reasons = mLogger->linesContaining("Error accumulator threshold reached. Reason: disk gone");
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_EQ(reasons[0].level, services::logging::Error);
    EXPECT_EQ(reasons[0].function, "kvx::ErrorAccumulator::reportEvent");
    EXPECT_EQ(linesWith("Error threshold reached.  severity[2]"), 1u);

    mClock->advance(1h);
    accumulator.reportEvent(ErrorSeverity::Critical, "disk gone again");
    EXPECT_EQ(mCrossed.size(), 1u);
    EXPECT_EQ(mSink->appEvents().size(), 1u);
    EXPECT_EQ(linesWith("threshold reached"), 2u);
}

TEST_F(ErrorAccumulatorTest, MajorReportsCountOnlyWithinTheirWindow) {
    ErrorAccumulator accumulator(readErrorAccumulatorConfiguration(mConfig));
    watch(accumulator);
    accumulator.reportEvent(ErrorSeverity::Major, "first");
    mClock->advance(31s);
    accumulator.reportEvent(ErrorSeverity::Major, "second");
    EXPECT_TRUE(mCrossed.empty());
    EXPECT_TRUE(mSink->appEvents().empty());

    // 30 s after "second" is still inside its window; "first" has gone.
    mClock->advance(30s);
    accumulator.reportEvent(ErrorSeverity::Major, "third");
    EXPECT_THAT(mCrossed, ElementsAre(ErrorSeverity::Major));
    EXPECT_THAT(mSink->appEvents(), ElementsAre(3));
    EXPECT_EQ(linesWith("Reason: first"), 0u);
    EXPECT_EQ(linesWith("Reason: second"), 1u);
    EXPECT_EQ(linesWith("Reason: third"), 1u);
    EXPECT_EQ(linesWith("Error threshold reached.  severity[1]"), 1u);
}

TEST_F(ErrorAccumulatorTest, CountZeroDisablesASeverityAndMinorRecordsNoAppEvent) {
    mConfig.set(config::Store::Ordinary, "app.errorEventCountMajor", "0", config::kScopeStatic);
    ErrorAccumulator accumulator(readErrorAccumulatorConfiguration(mConfig));
    watch(accumulator);
    for (int i = 0; i < 10; ++i) {
        accumulator.reportEvent(ErrorSeverity::Major, "ignored");
        accumulator.reportEvent(ErrorSeverity::Minor, "counted");
    }
    EXPECT_FALSE(accumulator.hasTriggered(ErrorSeverity::Major));
    EXPECT_THAT(mCrossed, ElementsAre(ErrorSeverity::Minor));
    EXPECT_EQ(linesWith("Reason: ignored"), 0u);
    EXPECT_EQ(linesWith("Reason: counted"), 5u);
    EXPECT_TRUE(mSink->appEvents().empty());
}

TEST_F(ErrorAccumulatorTest, ResetForgetsEventsButATriggeredSeverityStaysTriggered) {
    ErrorAccumulator accumulator({{ErrorSeverity::Minor, {0, 2}}});
    watch(accumulator);
    accumulator.reportEvent(ErrorSeverity::Minor, "a");
    accumulator.reset();
    accumulator.reportEvent(ErrorSeverity::Minor, "b");
    EXPECT_TRUE(mCrossed.empty());
    // No window: an event an hour old still counts.
    mClock->advance(1h);
    accumulator.reportEvent(ErrorSeverity::Minor, "c");
    EXPECT_THAT(mCrossed, ElementsAre(ErrorSeverity::Minor));
    accumulator.reset();
    accumulator.reportEvent(ErrorSeverity::Minor, "d");
    accumulator.reportEvent(ErrorSeverity::Minor, "e");
    EXPECT_EQ(mCrossed.size(), 1u);
    EXPECT_TRUE(accumulator.hasTriggered(ErrorSeverity::Minor));
}

TEST_F(ErrorAccumulatorTest, UnconfiguredAndInvalidSeveritiesAreFailedChecks) {
    ErrorAccumulator accumulator(
        {{ErrorSeverity::Critical, {0, 1}}, {static_cast<ErrorSeverity>(7), {0, 1}}});
    watch(accumulator);
    accumulator.reportEvent(ErrorSeverity::Major, "unconfigured");
    ASSERT_EQ(mAsserts.asserts().size(), 1u);
    EXPECT_EQ(mAsserts.asserts()[0].condition, "mConfiguration.find(severity) != mConfiguration.end()");
    EXPECT_EQ(mAsserts.asserts()[0].message, "mConfiguration is missing severity value 1");
    EXPECT_TRUE(mCrossed.empty());

    // A severity outside the three still reaches the handlers, then is reported as invalid.
    accumulator.reportEvent(static_cast<ErrorSeverity>(7), "odd");
    EXPECT_THAT(mCrossed, ElementsAre(static_cast<ErrorSeverity>(7)));
    EXPECT_EQ(mAsserts.messages().back(), "Invalid Severity value[7]");
    EXPECT_TRUE(mSink->appEvents().empty());
}

// Run under ThreadSanitizer: reports from many threads cross the threshold exactly once while
// handlers are being added.
TEST_F(ErrorAccumulatorTest, ConcurrentReportsCrossTheThresholdOnce) {
    ErrorAccumulator accumulator({{ErrorSeverity::Minor, {0, 400}}});
    std::atomic<int> crossings{0};
    accumulator.addThresholdHandler([&](ErrorSeverity) { ++crossings; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 150; ++i) {
                accumulator.reportEvent(ErrorSeverity::Minor, "busy");
            }
        });
    }
    threads.emplace_back([&] {
        for (int i = 0; i < 50; ++i) {
            accumulator.addThresholdHandler([](ErrorSeverity) {});
        }
    });
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(crossings.load(), 1);
    EXPECT_EQ(linesWith("Reason: busy"), 400u);
}

}  // namespace
}  // namespace kvx
