#include "framework/errors/AssertionHandler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "RecordingSink.h"
#include "framework/errors/AppEvents.h"
#include "framework/errors/AssertFormat.h"
#include "framework/errors/CrashReport.h"
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

constexpr const char* kStack = "\nkvx::apps::run()+16\nntdll.dll+ff";
constexpr const char* kFunction = "kvx::foundation::(anonymous namespace)::failCheck";

void failCheck(AssertLevel level) {
    KVX_ASSERT(level, 1 + 1 == 3, "sum is {}", 2);
}

class AssertionHandlerTest : public ::testing::Test {
protected:
    AssertionHandlerTest() {
        mPrevious = setAssertHandler(makeAssertionHandler({mPlatform, [this] { return mConfigurable; }}));
    }
    ~AssertionHandlerTest() override { setAssertHandler(std::move(mPrevious)); }

    test::ScopedTestClock mClock;
    test::ScopedRecordingSink mSink;
    test::ScopedRecordingLogger mLogger;
    std::shared_ptr<FakeAssertPlatform> mPlatform = std::make_shared<FakeAssertPlatform>();
    bool mConfigurable = false;
    AssertHandler mPrevious;
};

TEST_F(AssertionHandlerTest, LogLineAndTelemetryEventPerLevel) {
    const std::tuple<AssertLevel, int32_t, const char*, const char*> cases[] = {
        {AssertLevel::Fatal, 0, "Fatal", "fatal"},
        {AssertLevel::Error, 1, "Error", "error"},
        {AssertLevel::Warning, 2, "Warning", "warning"},
        {AssertLevel::Debug, 4, "Debug", "debug"},
        {static_cast<AssertLevel>(7), 1, "unknown", "unknown"},
    };
    for (const auto& [level, logLevel, name, taxonomy] : cases) {
        SCOPED_TRACE(name);
        mLogger->lines.clear();
        failCheck(level);
        EXPECT_EQ(mLogger->lines.lines(),
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

// Only a fatal check or a crash request flushes every output; only a configurable process's fatal
// check gets the banner, written to the debugger as well when one is attached.
TEST_F(AssertionHandlerTest, FatalChecksAndCrashRequestsFlushAndConfigurableFatalsGetTheBanner) {
    failCheck(AssertLevel::Error);
    EXPECT_EQ(mLogger->flushes + mSink->flushes(), 0);
    failCheck(AssertLevel::Fatal);
    mConfigurable = true;
    failCheck(AssertLevel::Error);
    EXPECT_THAT(mLogger->lines.linesContaining("ASSERT FAILED"), IsEmpty());
    mPlatform->debugger = true;
    failCheck(AssertLevel::Fatal);
    const auto banners = mLogger->lines.linesContaining("ASSERT FAILED");
    ASSERT_EQ(banners.size(), 1u);
    EXPECT_THAT(banners[0].message,
                HasSubstr("\n  level: Fatal\n  cond:  1 + 1 == 3\n   msg:  sum is 2\n"
                          "  func:  kvx::foundation::(anonymous namespace)::failCheck\n    at:  ("));
    EXPECT_THAT(banners[0].message, HasSubstr(std::string(" stack:  ") + kStack + "\n****"));
    EXPECT_THAT(mPlatform->debuggerText, ElementsAre(banners[0].message));

    mLogger->lines.clear();
    onCrashRequested();
    EXPECT_EQ(
        mLogger->lines.lines(),
        (std::vector<test::LoggedLine>{{services::logging::Fatal, "kvx::foundation::detail::onCrashRequested",
                                        "Forced Crash Requested"}}));
    EXPECT_EQ(mLogger->flushes, 3);
    EXPECT_EQ(mSink->flushes(), 3);
}

// A configurable process gets a box (or, with a debugger, a break) at most once an hour for Error
// and Fatal; a production process never.
TEST_F(AssertionHandlerTest, AttentionOnlyForAConfigurableProcessAtMostOnceAnHour) {
    using enum AssertLevel;
    // Columns: configurable, debugger attached, level, time until the next row, boxes and breaks so far.
    const std::tuple<bool, bool, AssertLevel, std::chrono::seconds, size_t, int> steps[] = {
        {false, true, Fatal, 2h, 0, 0}, {false, false, Error, 2h, 0, 0},   {true, false, Warning, 0s, 0, 0},
        {true, false, Debug, 0s, 0, 0}, {true, false, Error, 3599s, 1, 0}, {true, false, Fatal, 1s, 1, 0},
        {true, true, Error, 0s, 1, 1}};
    for (const auto& [configurable, debugger, level, then, boxes, breaks] : steps) {
        mConfigurable = configurable;
        mPlatform->debugger = debugger;
        failCheck(level);
        EXPECT_EQ(mPlatform->boxes.size(), boxes);
        EXPECT_EQ(mPlatform->breaks, breaks);
        mClock->advance(then);
    }
    EXPECT_THAT(mPlatform->boxes[0], HasSubstr("ASSERT FAILED"));
}

TEST_F(AssertionHandlerTest, CheckFailingInsideTheHandlerDoesNotRecurse) {
    mLogger->failWhileLogging = true;
    failCheck(AssertLevel::Error);
    EXPECT_EQ(mPlatform->skips.size(), 1u);
    EXPECT_EQ(mSink->events().size(), 1u);
}

TEST(TelemetryEventTest, EmptyTaxonomyIsAFailedCheck) {
    test::ScopedAssertCapture capture;
    TelemetryEvent unnamed("");
    EXPECT_EQ(capture.conditionsAndMessages(), (std::vector<std::pair<std::string, std::string>>{
                                                   {"!mTaxonomy.empty()", "taxonomy may not be empty"}}));
}

TEST(CrashReportTest, IdentifierNamesTheKindAndThePlace) {
    EXPECT_EQ(crashIdentifier({0xC0000005u, 0x7ff61a2b, "KorvDestager.exe", 0x1a2b, 1}),
              "05-KorvDestager.exe+1a2b");
    EXPECT_EQ(crashIdentifier({0xC00000FDu, 0xdead0, "", 0, 1}), "FD-dead0");
}

}  // namespace
}  // namespace kvx::foundation
