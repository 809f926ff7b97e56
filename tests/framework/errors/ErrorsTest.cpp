#include "framework/errors/AssertionHandler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "RecordingSink.h"
#include "framework/config/ConfigSystem.h"
#include "framework/errors/AppEvents.h"
#include "framework/errors/ErrorAccumulator.h"
#include "support/TestClock.h"

namespace kvx::foundation {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using enum ErrorSeverity;

// Stands in for the debugger and the dialog, which no test may bring up.
class FakeAssertPlatform final : public IAssertPlatform {
public:
    std::vector<StackFrame> captureStack(int framesToSkip) override {
        skips.push_back(framesToSkip);
        return {{"kvx::apps::run", 16, "KorvDestager.exe", 0x1a2b}, {"", 0, "ntdll.dll", 0xff}};
    }
    bool isDebuggerAttached() override { return debugger; }
    void writeToDebugger(std::string_view text) override { debuggerText.emplace_back(text); }
    void breakIntoDebugger() override { ++breaks; }
    void showDetachedMessageBox(std::string text) override { boxes.push_back(std::move(text)); }

    bool debugger = false;
    std::vector<int> skips;
    std::vector<std::string> debuggerText;
    int breaks = 0;
    std::vector<std::string> boxes;
};

// The logger singleton, counting flushes; it can fail a check of its own while logging.
class RecordingLogger final : public services::logging::ILogger {
public:
    void setPersonaeInfo(const PersonaeInfo&) override {}
    bool isEnabled() const override { return true; }
    void log(int32_t level, std::string_view function, std::string_view message) override {
        lines.log(level, function, message);
        KVX_ASSERT(foundation::AssertLevel::Error, !failWhileLogging, "logger check");
    }
    void flush() override { ++flushes; }

    test::CapturingLogger lines;
    bool failWhileLogging = false;
    int flushes = 0;
};

constexpr const char* kStack = "\nkvx::apps::run()+16\nntdll.dll+ff";
constexpr const char* kFunction = "kvx::foundation::(anonymous namespace)::failCheck";

void failCheck(AssertLevel level) {
    KVX_ASSERT(level, 1 + 1 == 3, "sum is {}", 2);
}

class ErrorsTest : public ::testing::Test {
protected:
    ~ErrorsTest() override {
        setAssertHandler(std::move(mPrevious));
        utils::Singleton<services::logging::ILogger>::destroy();
    }

    test::ScopedTestClock mClock;
    test::ScopedRecordingSink mSink;
    RecordingLogger& mLogger = utils::Singleton<services::logging::ILogger>::createDerived<RecordingLogger>();
    std::shared_ptr<FakeAssertPlatform> mPlatform = std::make_shared<FakeAssertPlatform>();
    bool mConfigurable = false;
    AssertHandler mPrevious =
        setAssertHandler(makeAssertionHandler({mPlatform, [this] { return mConfigurable; }}));
    std::vector<ErrorSeverity> mCrossed;  // the crossings of the accumulator a case makes
};

TEST_F(ErrorsTest, LogLineTelemetryEventAndAppEventPerLevel) {
    const std::tuple<AssertLevel, int32_t, const char*, const char*> cases[] = {
        {AssertLevel::Fatal, 0, "Fatal", "fatal"},
        {AssertLevel::Error, 1, "Error", "error"},
        {AssertLevel::Warning, 2, "Warning", "warning"},
        {AssertLevel::Debug, 4, "Debug", "debug"},
        {static_cast<AssertLevel>(7), 1, "unknown", "unknown"}};
    for (const auto& [level, logLevel, name, taxonomy] : cases) {
        SCOPED_TRACE(name);
        mLogger.lines.clear();
        failCheck(level);
        EXPECT_EQ(mLogger.lines.lines(),
                  (std::vector<test::LoggedLine>{
                      {logLevel, kFunction,
                       fmt::format("Assert {} Failed: condition[1 + 1 == 3], message[sum is 2]", name)}}));
        EXPECT_EQ(mSink->events().back().taxonomy(), std::string("assert.report.") + taxonomy);
    }
    const nlohmann::json params = mSink->events()[1].params();
    EXPECT_EQ(params["summary"], "level[Error], condition[1 + 1 == 3], message[sum is 2]");
    EXPECT_EQ(params["function"], kFunction);
    EXPECT_GT(params["line"].get<int>(), 0);
    EXPECT_EQ(params["extra_ctx"], kStack);
    // The entry point's own frame and the handler's are not the caller's.
    EXPECT_THAT(mPlatform->skips, ::testing::Each(2));
    // A check failing inside the handler (in the logger here) is not handled again.
    mLogger.failWhileLogging = true;
    failCheck(AssertLevel::Warning);
    EXPECT_EQ(mSink->events().size(), 6u);
    // Fatal and Error are counted; Warning, Debug and the unknown level are not, and the last is reported
    // (as is an event without a taxonomy).
    setAssertHandler({});
    test::ScopedAssertCapture capture;
    recordAsAppEvent(static_cast<AssertLevel>(7));
    TelemetryEvent unnamed("");
    EXPECT_EQ(capture.conditionsAndMessages(), (std::vector<std::pair<std::string, std::string>>{
                                                   {kUnconditionalAssert, "Invalid AssertLevel value[7]"},
                                                   {"!mTaxonomy.empty()", "taxonomy may not be empty"}}));
    EXPECT_THAT(mSink->appEvents(), ElementsAre(0, 1));
}

// Only a fatal check or a crash request flushes every output. Only a configurable (developer) process
// gets attention: a banner for a fatal check, also written to an attached debugger, and for an error or
// fatal check a message box, or with a debugger a break, at most once an hour.
TEST_F(ErrorsTest, FlushesBannersAndAttention) {
    failCheck(AssertLevel::Error);
    EXPECT_EQ(mLogger.flushes + mSink->flushes(), 0);
    failCheck(AssertLevel::Fatal);
    mConfigurable = true;
    failCheck(AssertLevel::Warning);
    EXPECT_THAT(mPlatform->boxes, IsEmpty());
    failCheck(AssertLevel::Error);
    ASSERT_EQ(mPlatform->boxes.size(), 1u);
    EXPECT_THAT(mPlatform->boxes[0], HasSubstr("ASSERT FAILED"));
    mPlatform->debugger = true;
    mClock->advance(3599s);
    failCheck(AssertLevel::Fatal);
    EXPECT_EQ(mPlatform->breaks, 0);
    const auto banners = mLogger.lines.linesContaining("ASSERT FAILED");
    ASSERT_EQ(banners.size(), 1u);
    EXPECT_THAT(banners[0].message,
                HasSubstr("\n  level: Fatal\n  cond:  1 + 1 == 3\n   msg:  sum is 2\n"
                          "  func:  kvx::foundation::(anonymous namespace)::failCheck\n    at:  ("));
    EXPECT_THAT(banners[0].message, HasSubstr(std::string(" stack:  ") + kStack + "\n****"));
    EXPECT_THAT(mPlatform->debuggerText, ElementsAre(banners[0].message));
    mClock->advance(1s);
    failCheck(AssertLevel::Error);
    EXPECT_EQ(mPlatform->breaks, 1);
    EXPECT_EQ(mPlatform->boxes.size(), 1u);

    mLogger.lines.clear();
    onCrashRequested();
    EXPECT_EQ(
        mLogger.lines.lines(),
        (std::vector<test::LoggedLine>{{services::logging::Fatal, "kvx::foundation::detail::onCrashRequested",
                                        "Forced Crash Requested"}}));
    EXPECT_EQ(mLogger.flushes, 3);
    EXPECT_EQ(mSink->flushes(), 3);
}

TEST(ErrorAccumulatorConfiguration, DefaultsAndEachKey) {
    config::ConfigSystem settings;
    EXPECT_EQ(readErrorAccumulatorConfiguration(settings),
              (ErrorAccumulatorConfiguration{{Critical, {0, 1}}, {Major, {30, 2}}, {Minor, {30, 5}}}));
    const std::pair<const char*, const char*> keys[] = {
        {"app.errorTimeWindowCritical", "12"}, {"app.errorEventCountCritical", "3"},
        {"app.errorTimeWindowMajor", "0"},     {"app.errorEventCountMajor", "4"},
        {"app.errorTimeWindowMinor", "60"},    {"app.errorEventCountMinor", "0"}};
    for (const auto& [key, value] : keys) {
        settings.set(config::Store::Ordinary, key, value, config::kScopeStatic);
    }
    EXPECT_EQ(readErrorAccumulatorConfiguration(settings),
              (ErrorAccumulatorConfiguration{{Critical, {12, 3}}, {Major, {0, 4}}, {Minor, {60, 0}}}));
}

// Each severity crosses once, logging the reasons that made it; only Major and Critical are app events.
TEST_F(ErrorsTest, AccumulatorSeverityCrossesOnceWithinItsWindow) {
    ErrorAccumulator accumulator({{Critical, {0, 1}}, {Major, {30, 2}}, {Minor, {0, 1}}});
    accumulator.addThresholdHandler([this](ErrorSeverity severity) { mCrossed.push_back(severity); });
    accumulator.reportEvent(Major, "first");
    mClock->advance(31s);
    accumulator.reportEvent(Major, "second");
    mClock->advance(30s);  // still inside the window of "second"; "first" has gone
    accumulator.reportEvent(Major, "third");
    accumulator.reportEvent(Critical, "disk gone");
    mClock->advance(1h);
    accumulator.reportEvent(Critical, "disk gone again");
    accumulator.reportEvent(Minor, "minor");
    EXPECT_THAT(mCrossed, ElementsAre(Major, Critical, Minor));
    EXPECT_THAT(mSink->appEvents(), ElementsAre(3, 2));
    const std::string reason = "Error accumulator threshold reached. Reason: ";
    const std::string crossed = "Error threshold reached.  severity[";
    std::vector<std::string> messages;
    for (const auto& line : mLogger.lines.lines()) {
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
TEST_F(ErrorsTest, AccumulatorDisabledUnconfiguredAndInvalidSeverities) {
    test::ScopedAssertCapture asserts;
    ErrorAccumulator accumulator(
        {{Critical, {0, 1}}, {Minor, {0, 0}}, {static_cast<ErrorSeverity>(7), {0, 1}}});
    accumulator.addThresholdHandler([this](ErrorSeverity severity) { mCrossed.push_back(severity); });
    accumulator.reportEvent(Minor, "ignored");
    accumulator.reportEvent(Major, "unconfigured");
    EXPECT_TRUE(mCrossed.empty());
    accumulator.reportEvent(static_cast<ErrorSeverity>(7), "odd");
    EXPECT_THAT(mCrossed, ElementsAre(static_cast<ErrorSeverity>(7)));
    EXPECT_EQ(asserts.conditionsAndMessages(),
              (std::vector<std::pair<std::string, std::string>>{
                  {"mConfiguration.find(severity) != mConfiguration.end()",
                   "mConfiguration is missing severity value 1"},
                  {foundation::kUnconditionalAssert, "Invalid Severity value[7]"}}));
    EXPECT_EQ(mLogger.lines.lines().size(), 2u);  // only the reason and the crossing of "odd"
    EXPECT_TRUE(mSink->appEvents().empty());
}

}  // namespace
}  // namespace kvx::foundation
