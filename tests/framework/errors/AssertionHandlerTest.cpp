#include "framework/errors/AssertionHandler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "RecordingSink.h"
#include "framework/errors/AppEvents.h"
#include "framework/errors/AssertFormat.h"
#include "support/Capture.h"
#include "support/TestClock.h"

namespace kvx::foundation {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

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

// Logs into the capture; optionally fails a check of its own while logging.
class CheckingLogger final : public services::logging::ILogger {
public:
    void setPersonaeInfo(const PersonaeInfo&) override {}
    bool isEnabled() const override { return true; }
    void log(int32_t level, std::string_view function, std::string_view message) override {
        lines.log(level, function, message);
        KVX_ASSERT(AssertLevel::Error, !failWhileLogging, "logger check");
    }
    void flush() override { ++flushes; }

    test::CapturingLogger lines;
    bool failWhileLogging = false;
    int flushes = 0;
};

constexpr const char* kStack = "\nkvx::apps::run()+16\nntdll.dll+ff";

void failCheck(AssertLevel level) {
    KVX_ASSERT(level, 1 + 1 == 3, "sum is {}", 2);
}

class AssertionHandlerTest : public ::testing::Test {
protected:
    AssertionHandlerTest() {
        mPrevious = setAssertHandler(makeAssertionHandler({mPlatform, [this] { return mConfigurable; }}));
    }
    ~AssertionHandlerTest() override {
        setAssertHandler(std::move(mPrevious));
        utils::Singleton<services::logging::ILogger>::destroy();
    }
    std::vector<test::LoggedLine> lines() { return mLogger.lines.lines(); }
    size_t bannersLogged() { return mLogger.lines.linesContaining("ASSERT FAILED").size(); }

    test::ScopedTestClock mClock;
    test::ScopedRecordingSink mSink;
    CheckingLogger& mLogger = utils::Singleton<services::logging::ILogger>::createDerived<CheckingLogger>();
    std::shared_ptr<FakeAssertPlatform> mPlatform = std::make_shared<FakeAssertPlatform>();
    bool mConfigurable = false;
    AssertHandler mPrevious;
};

TEST_F(AssertionHandlerTest, LogLineAndTelemetryEventPerLevel) {
    const std::tuple<AssertLevel, int32_t, const char*> cases[] = {
        {AssertLevel::Fatal, 0, "fatal"},
        {AssertLevel::Error, 1, "error"},
        {AssertLevel::Warning, 2, "warning"},
        {AssertLevel::Debug, 4, "debug"},
        {static_cast<AssertLevel>(7), 1, "unknown"},
    };
    for (const auto& [level, logLevel, taxonomy] : cases) {
        mLogger.lines.clear();
        failCheck(level);
        ASSERT_EQ(lines().size(), 1u);
        EXPECT_EQ(lines()[0].level, logLevel);
        EXPECT_EQ(lines()[0].function, "kvx::foundation::(anonymous namespace)::failCheck");
        EXPECT_EQ(lines()[0].message,
                  fmt::format("Assert {} Failed: condition[1 + 1 == 3], message[sum is 2]",
                              assertLevelName(level)));
        EXPECT_EQ(mSink->events().back().taxonomy(), std::string("assert.report.") + taxonomy);
    }
    EXPECT_THAT(lines()[0].message, HasSubstr("Assert unknown Failed"));
    const nlohmann::json params = mSink->events()[1].params();
    EXPECT_EQ(params["summary"], "level[Error], condition[1 + 1 == 3], message[sum is 2]");
    EXPECT_EQ(params["function"], "kvx::foundation::(anonymous namespace)::failCheck");
    EXPECT_GT(params["line"].get<int>(), 0);
    EXPECT_EQ(params["extra_ctx"], kStack);
    // Fatal and Error are counted; Warning, Debug and the unknown level are not.
    EXPECT_THAT(mSink->appEvents(), ElementsAre(0, 1));
    // The entry point's own frame and the handler's are not the caller's.
    EXPECT_THAT(mPlatform->skips, ::testing::Each(2));
}

TEST_F(AssertionHandlerTest, InvalidLevelAsAppEventIsAFailedCheck) {
    setAssertHandler({});
    test::ScopedAssertCapture capture;
    recordAsAppEvent(static_cast<AssertLevel>(7));
    EXPECT_THAT(capture.messages(), ElementsAre("Invalid AssertLevel value[7]"));
    EXPECT_THAT(mSink->appEvents(), IsEmpty());
}

TEST_F(AssertionHandlerTest, BannerOnlyForFatalChecksOfAConfigurableProcess) {
    failCheck(AssertLevel::Fatal);
    mConfigurable = true;
    failCheck(AssertLevel::Error);
    EXPECT_EQ(bannersLogged(), 0u);

    mPlatform->debugger = true;
    failCheck(AssertLevel::Fatal);
    ASSERT_EQ(bannersLogged(), 1u);
    const std::string banner = mLogger.lines.linesContaining("ASSERT FAILED")[0].message;
    EXPECT_THAT(banner, HasSubstr("\n  level: Fatal\n  cond:  1 + 1 == 3\n   msg:  sum is 2\n"
                                  "  func:  kvx::foundation::(anonymous namespace)::failCheck\n    at:  ("));
    EXPECT_THAT(banner, HasSubstr(std::string(" stack:  ") + kStack + "\n****"));
    EXPECT_THAT(mPlatform->debuggerText, ElementsAre(banner));
}

TEST_F(AssertionHandlerTest, OnlyFatalFlushesEveryOutput) {
    failCheck(AssertLevel::Error);
    EXPECT_EQ(mLogger.flushes, 0);
    EXPECT_EQ(mSink->flushes(), 0);
    failCheck(AssertLevel::Fatal);
    EXPECT_EQ(mLogger.flushes, 1);
    EXPECT_EQ(mSink->flushes(), 1);
}

TEST_F(AssertionHandlerTest, ConfigurableProcessGetsAttentionAtMostOnceAnHour) {
    mConfigurable = true;
    failCheck(AssertLevel::Warning);
    failCheck(AssertLevel::Debug);
    EXPECT_THAT(mPlatform->boxes, IsEmpty());
    failCheck(AssertLevel::Error);
    ASSERT_EQ(mPlatform->boxes.size(), 1u);
    EXPECT_THAT(mPlatform->boxes[0], HasSubstr("ASSERT FAILED"));
    failCheck(AssertLevel::Fatal);
    mClock->advance(3599s);
    failCheck(AssertLevel::Error);
    EXPECT_EQ(mPlatform->boxes.size(), 1u);

    // With a debugger attached the next turn breaks into it instead of showing the box.
    mClock->advance(1s);
    mPlatform->debugger = true;
    failCheck(AssertLevel::Error);
    EXPECT_EQ(mPlatform->breaks, 1);
    EXPECT_EQ(mPlatform->boxes.size(), 1u);
}

TEST_F(AssertionHandlerTest, ProductionProcessNeverShowsADialogNorBreaks) {
    for (bool debugger : {false, true}) {
        mPlatform->debugger = debugger;
        failCheck(AssertLevel::Fatal);
        failCheck(AssertLevel::Error);
        mClock->advance(2h);
    }
    EXPECT_THAT(mPlatform->boxes, IsEmpty());
    EXPECT_EQ(mPlatform->breaks, 0);
}

TEST_F(AssertionHandlerTest, CheckFailingInsideTheHandlerDoesNotRecurse) {
    mLogger.failWhileLogging = true;
    failCheck(AssertLevel::Error);
    EXPECT_EQ(mPlatform->skips.size(), 1u);
    EXPECT_EQ(mSink->events().size(), 1u);
}

TEST_F(AssertionHandlerTest, CrashRequestIsLoggedAndFlushed) {
    onCrashRequested();
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_EQ(lines()[0].level, services::logging::Fatal);
    EXPECT_EQ(lines()[0].function, "kvx::foundation::detail::onCrashRequested");
    EXPECT_EQ(lines()[0].message, "Forced Crash Requested");
    EXPECT_EQ(mLogger.flushes, 1);
    EXPECT_EQ(mSink->flushes(), 1);
}

TEST(TelemetryEventTest, EmptyTaxonomyIsAFailedCheck) {
    test::ScopedAssertCapture capture;
    TelemetryEvent named("diags.logs.erro");
    EXPECT_THAT(capture.messages(), IsEmpty());
    TelemetryEvent unnamed("");
    ASSERT_EQ(capture.asserts().size(), 1u);
    EXPECT_EQ(capture.asserts()[0].condition, "!mTaxonomy.empty()");
    EXPECT_EQ(capture.asserts()[0].message, "taxonomy may not be empty");
}

}  // namespace
}  // namespace kvx::foundation
