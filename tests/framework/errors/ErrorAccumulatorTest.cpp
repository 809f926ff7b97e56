#include "framework/errors/ErrorAccumulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
    ErrorAccumulator& accumulator(ErrorAccumulatorConfiguration configuration) {
        mAccumulator.emplace(std::move(configuration));
        mAccumulator->addThresholdHandler([this](ErrorSeverity severity) { mCrossed.push_back(severity); });
        return *mAccumulator;
    }

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
    const std::pair<const char*, const char*> keys[] = {
        {"app.errorTimeWindowCritical", "12"}, {"app.errorEventCountCritical", "3"},
        {"app.errorTimeWindowMajor", "0"},     {"app.errorEventCountMajor", "4"},
        {"app.errorTimeWindowMinor", "60"},    {"app.errorEventCountMinor", "0"}};
    for (const auto& [key, value] : keys) {
        mConfig.set(config::Store::Ordinary, key, value, config::kScopeStatic);
    }
    EXPECT_EQ(readErrorAccumulatorConfiguration(mConfig),
              (ErrorAccumulatorConfiguration{{Critical, {12, 3}}, {Major, {0, 4}}, {Minor, {60, 0}}}));
}

// Each severity crosses once, logging the reasons that made it; only Major and Critical are app events.
TEST_F(ErrorAccumulatorTest, EachSeverityCrossesOnceWithinItsWindow) {
    accumulator({{Critical, {0, 1}}, {Major, {30, 2}}, {Minor, {0, 1}}}).reportEvent(Major, "first");
    mClock->advance(31s);
    mAccumulator->reportEvent(Major, "second");
    EXPECT_TRUE(mCrossed.empty());
    mClock->advance(30s);  // still inside the window of "second"; "first" has gone
    mAccumulator->reportEvent(Major, "third");
    mAccumulator->reportEvent(Critical, "disk gone");
    mClock->advance(1h);
    mAccumulator->reportEvent(Critical, "disk gone again");
    mAccumulator->reportEvent(Minor, "minor");
    EXPECT_THAT(mCrossed, ElementsAre(Major, Critical, Minor));
    EXPECT_TRUE(mAccumulator->hasTriggered(Critical));
    EXPECT_THAT(mSink->appEvents(), ElementsAre(3, 2));
    const std::string reason = "Error accumulator threshold reached. Reason: ";
    const std::string crossed = "Error threshold reached.  severity[";
    std::vector<std::string> messages;
    for (const auto& line : mLogger->lines()) {
        EXPECT_EQ(line.level, services::logging::Error);
        EXPECT_EQ(line.function, "kvx::ErrorAccumulator::reportEvent");
        messages.push_back(line.message);
    }
    EXPECT_THAT(messages,
                ElementsAre(reason + "second", reason + "third", crossed + "1]", reason + "disk gone",
                            crossed + "2]", reason + "minor", crossed + "0]"));
}

// A count of zero disables a severity; one left out of the configuration, or outside the three, is a
// failed check (the latter after reaching the handlers).
TEST_F(ErrorAccumulatorTest, DisabledUnconfiguredAndInvalidSeverities) {
    accumulator({{Critical, {0, 1}}, {Minor, {0, 0}}, {static_cast<ErrorSeverity>(7), {0, 1}}});
    for (int i = 0; i < 10; ++i) {
        mAccumulator->reportEvent(Minor, "ignored");
    }
    mAccumulator->reportEvent(Major, "unconfigured");
    EXPECT_FALSE(mAccumulator->hasTriggered(Minor));
    EXPECT_TRUE(mCrossed.empty());
    mAccumulator->reportEvent(static_cast<ErrorSeverity>(7), "odd");
    EXPECT_THAT(mCrossed, ElementsAre(static_cast<ErrorSeverity>(7)));
    EXPECT_EQ(mAsserts.conditionsAndMessages(),
              (std::vector<std::pair<std::string, std::string>>{
                  {"mConfiguration.find(severity) != mConfiguration.end()",
                   "mConfiguration is missing severity value 1"},
                  {foundation::kUnconditionalAssert, "Invalid Severity value[7]"}}));
    EXPECT_EQ(mLogger->lines().size(), 2u);  // only the reason and the crossing of "odd"
    EXPECT_TRUE(mSink->appEvents().empty());
}

}  // namespace
}  // namespace kvx
