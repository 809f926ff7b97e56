#include "framework/errors/AssertionHandler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "RecordingSink.h"
#include "framework/errors/AppEvents.h"
#include "support/TestClock.h"

namespace kvx::foundation {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

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

class ErrorsTest : public ::testing::Test {
protected:
    ~ErrorsTest() override { setAssertHandler(std::move(mPrevious)); }

    test::ScopedTestClock mClock;
    test::ScopedRecordingSink mSink;
    test::ScopedCapturingLogger mLogger;
    std::shared_ptr<FakeAssertPlatform> mPlatform = std::make_shared<FakeAssertPlatform>();
    bool mConfigurable = false;
    AssertHandler mPrevious =
        setAssertHandler(makeAssertionHandler({mPlatform, [this] { return mConfigurable; }}));
};

// Only Fatal and Error are counted, and only Fatal flushes. A developer process gets a banner for a fatal
// check (also to a debugger), and for an error or fatal one a box, or with a debugger a break, once an hour.
TEST_F(ErrorsTest, EachLevelsLineAndEventThenFlushesBannersAndAttention) {
    const std::tuple<AssertLevel, int32_t, const char*, const char*> cases[] = {
        {AssertLevel::Error, 1, "Error", "error"},
        {AssertLevel::Warning, 2, "Warning", "warning"},
        {AssertLevel::Debug, 4, "Debug", "debug"},
        {static_cast<AssertLevel>(7), 1, "unknown", "unknown"},
        {AssertLevel::Fatal, 0, "Fatal", "fatal"}};
    for (const auto& [level, logLevel, name, taxonomy] : cases) {
        SCOPED_TRACE(name);
        mLogger->clear();
        failCheck(level);
        EXPECT_EQ(mLogger->lines(),
                  (test::LoggedLines{
                      {logLevel, kFunction,
                       fmt::format("Assert {} Failed: condition[1 + 1 == 3], message[sum is 2]", name)}}));
        EXPECT_EQ(mSink->events().back().taxonomy(), std::string("assert.report.") + taxonomy);
    }
    const nlohmann::json params = mSink->events()[0].params();
    EXPECT_EQ(params["summary"], "level[Error], condition[1 + 1 == 3], message[sum is 2]");
    EXPECT_EQ(params["function"], kFunction);
    EXPECT_GT(params["line"].get<int>(), 0);
    EXPECT_EQ(params["extra_ctx"], kStack);
    // The entry point's own frame and the handler's are not the caller's.
    EXPECT_THAT(mPlatform->skips, ::testing::Each(2));
    EXPECT_THAT(mSink->appEvents(), ElementsAre(1, 0));
    EXPECT_EQ(mLogger->flushes + mSink->flushes(), 2);

    mConfigurable = true;
    failCheck(AssertLevel::Warning);
    EXPECT_TRUE(mPlatform->boxes.empty());
    failCheck(AssertLevel::Error);
    ASSERT_EQ(mPlatform->boxes.size(), 1u);
    EXPECT_THAT(mPlatform->boxes[0], HasSubstr("ASSERT FAILED"));
    mPlatform->debugger = true;
    mClock->advance(3599s);
    failCheck(AssertLevel::Fatal);
    EXPECT_EQ(mPlatform->breaks, 0);
    const auto banners = mLogger->linesContaining("ASSERT FAILED");
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

    mLogger->clear();
    onCrashRequested();
    EXPECT_EQ(mLogger->lines(),
              (test::LoggedLines{{services::logging::Fatal, "kvx::foundation::detail::onCrashRequested",
                                  "Forced Crash Requested"}}));
    EXPECT_EQ(mLogger->flushes.load(), 3);
    EXPECT_EQ(mSink->flushes(), 3);
    // A check failing inside the handler (in the logger here) is not handled again.
    const size_t events = mSink->events().size();
    mLogger->afterLine = [] { KVX_ASSERT(foundation::AssertLevel::Error, false, "logger check"); };
    failCheck(AssertLevel::Warning);
    EXPECT_EQ(mSink->events().size(), events + 1);
    // An unknown level and an event without a taxonomy are reported.
    setAssertHandler({});
    test::ScopedAssertCapture capture;
    recordAsAppEvent(static_cast<AssertLevel>(7));
    TelemetryEvent unnamed("");
    EXPECT_EQ(capture.conditionsAndMessages(),
              (test::Reports{{kUnconditionalAssert, "Invalid AssertLevel value[7]"},
                             {"!mTaxonomy.empty()", "taxonomy may not be empty"}}));
}

}  // namespace
}  // namespace kvx::foundation
