#include "framework/errors/ErrorAccumulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "RecordingSink.h"
#include "framework/config/ConfigSystem.h"
#include "support/TestClock.h"

namespace kvx {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using enum ErrorSeverity;

class ErrorAccumulatorTest : public ::testing::Test {
protected:
    // Reports each text in order; every severity that crossed its threshold is kept in mCrossed.
    ErrorAccumulator& accumulator(ErrorAccumulatorConfiguration configuration = {}) {
        mAccumulator.emplace(configuration.empty() ? readErrorAccumulatorConfiguration(mConfig)
                                                   : configuration);
        mAccumulator->addThresholdHandler([this](ErrorSeverity severity) { mCrossed.push_back(severity); });
        return *mAccumulator;
    }
    size_t linesWith(std::string_view text) { return mLogger->linesContaining(text).size(); }

    test::ScopedTestClock mClock;
    test::ScopedCapturingLogger mLogger;
    test::ScopedRecordingSink mSink;
    test::ScopedAssertCapture mAsserts;
    config::ConfigSystem mConfig;
    std::optional<ErrorAccumulator> mAccumulator;
    std::vector<ErrorSeverity> mCrossed;
};

TEST_F(ErrorAccumulatorTest, ConfigurationHasTheDefaultsAndReadsEachKey) {
    EXPECT_EQ(readErrorAccumulatorConfiguration(mConfig),
              (ErrorAccumulatorConfiguration{{Critical, {0, 1}}, {Major, {30, 2}}, {Minor, {30, 5}}}));
    for (const auto& [key, value] : {std::pair{"app.errorTimeWindowCritical", "12"},
                                     {"app.errorEventCountCritical", "3"},
                                     {"app.errorTimeWindowMajor", "0"},
                                     {"app.errorEventCountMajor", "4"},
                                     {"app.errorTimeWindowMinor", "60"},
                                     {"app.errorEventCountMinor", "0"}}) {
        mConfig.set(config::Store::Ordinary, key, value, config::kScopeStatic);
    }
    EXPECT_EQ(readErrorAccumulatorConfiguration(mConfig),
              (ErrorAccumulatorConfiguration{{Critical, {12, 3}}, {Major, {0, 4}}, {Minor, {60, 0}}}));
}

TEST_F(ErrorAccumulatorTest, FirstCriticalCrossesAtOnceAndASecondDoesNothingMore) {
    accumulator().reportEvent(Critical, "disk gone");
    EXPECT_THAT(mCrossed, ElementsAre(Critical));
    EXPECT_TRUE(mAccumulator->hasTriggered(Critical));
    EXPECT_THAT(mSink->appEvents(), ElementsAre(2));
    EXPECT_EQ(mLogger->linesContaining("Reason: disk gone"),
              (std::vector<test::LoggedLine>{{services::logging::Error, "kvx::ErrorAccumulator::reportEvent",
                                              "Error accumulator threshold reached. Reason: disk gone"}}));
    EXPECT_EQ(linesWith("Error threshold reached.  severity[2]"), 1u);

    mClock->advance(1h);
    mAccumulator->reportEvent(Critical, "disk gone again");
    EXPECT_EQ(mCrossed.size(), 1u);
    EXPECT_EQ(mSink->appEvents().size(), 1u);
    EXPECT_EQ(linesWith("threshold reached"), 2u);
}

TEST_F(ErrorAccumulatorTest, MajorReportsCountOnlyWithinTheirWindow) {
    accumulator().reportEvent(Major, "first");
    mClock->advance(31s);
    mAccumulator->reportEvent(Major, "second");
    EXPECT_TRUE(mCrossed.empty());
    // 30 s after "second" is still inside its window; "first" has gone.
    mClock->advance(30s);
    mAccumulator->reportEvent(Major, "third");
    EXPECT_THAT(mCrossed, ElementsAre(Major));
    EXPECT_THAT(mSink->appEvents(), ElementsAre(3));
    EXPECT_EQ(linesWith("Reason: first"), 0u);
    EXPECT_EQ(linesWith("Reason: second") + linesWith("Reason: third"), 2u);
    EXPECT_EQ(linesWith("Error threshold reached.  severity[1]"), 1u);
}

TEST_F(ErrorAccumulatorTest, CountZeroDisablesASeverityAndMinorRecordsNoAppEvent) {
    mConfig.set(config::Store::Ordinary, "app.errorEventCountMajor", "0", config::kScopeStatic);
    accumulator();
    for (int i = 0; i < 10; ++i) {
        mAccumulator->reportEvent(Major, "ignored");
        mAccumulator->reportEvent(Minor, "counted");
    }
    EXPECT_FALSE(mAccumulator->hasTriggered(Major));
    EXPECT_THAT(mCrossed, ElementsAre(Minor));
    EXPECT_EQ(linesWith("Reason: ignored"), 0u);
    EXPECT_EQ(linesWith("Reason: counted"), 5u);
    EXPECT_TRUE(mSink->appEvents().empty());
}

TEST_F(ErrorAccumulatorTest, ResetForgetsEventsButATriggeredSeverityStaysTriggered) {
    accumulator({{Minor, {0, 2}}}).reportEvent(Minor, "a");
    mAccumulator->reset();
    mAccumulator->reportEvent(Minor, "b");
    EXPECT_TRUE(mCrossed.empty());
    mClock->advance(1h);  // no window: an event an hour old still counts
    mAccumulator->reportEvent(Minor, "c");
    EXPECT_THAT(mCrossed, ElementsAre(Minor));
    mAccumulator->reset();
    mAccumulator->reportEvent(Minor, "d");
    mAccumulator->reportEvent(Minor, "e");
    EXPECT_EQ(mCrossed.size(), 1u);
    EXPECT_TRUE(mAccumulator->hasTriggered(Minor));
}

TEST_F(ErrorAccumulatorTest, UnconfiguredAndInvalidSeveritiesAreFailedChecks) {
    accumulator({{Critical, {0, 1}}, {static_cast<ErrorSeverity>(7), {0, 1}}})
        .reportEvent(Major, "unconfigured");
    EXPECT_EQ(mAsserts.conditionsAndMessages(), (std::vector<std::pair<std::string, std::string>>{
                                                    {"mConfiguration.find(severity) != mConfiguration.end()",
                                                     "mConfiguration is missing severity value 1"}}));
    EXPECT_TRUE(mCrossed.empty());
    // A severity outside the three still reaches the handlers, then is reported as invalid.
    mAccumulator->reportEvent(static_cast<ErrorSeverity>(7), "odd");
    EXPECT_THAT(mCrossed, ElementsAre(static_cast<ErrorSeverity>(7)));
    EXPECT_EQ(mAsserts.messages().back(), "Invalid Severity value[7]");
    EXPECT_TRUE(mSink->appEvents().empty());
}

// Run under ThreadSanitizer: reports from many threads cross the threshold exactly once while
// handlers are being added.
TEST_F(ErrorAccumulatorTest, ConcurrentReportsCrossTheThresholdOnce) {
    ErrorAccumulator& shared = accumulator({{Minor, {0, 400}}});
    std::atomic<int> crossings{0};
    shared.addThresholdHandler([&](ErrorSeverity) { ++crossings; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 150; ++i) {
                shared.reportEvent(Minor, "busy");
            }
        });
    }
    threads.emplace_back([&] {
        for (int i = 0; i < 50; ++i) {
            shared.addThresholdHandler([](ErrorSeverity) {});
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
