#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "RecordingSink.h"
#include "foundation/fs/Path.h"
#include "framework/config/ConfigSystem.h"
#include "framework/errors/AssertionHandler.h"
#include "framework/errors/ExceptionSystem.h"

namespace kvx::foundation {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

constexpr const char* kTestModule = "fw_errors_windows_tests.exe";

// A code address inside this executable for a made-up exception.
[[gnu::noinline]] void exceptionSiteAnchor() {
    asm volatile("");
}

TEST(AssertionSetupTest, SecondInitIsAFailedCheckAndTerminateRemovesTheHandler) {
    std::vector<std::string> first;
    std::vector<std::string> second;
    initAssertions([&](const AssertReport& report) {
        first.push_back(std::string(report.condition) + " / " + std::string(report.message));
    });
    initAssertions([&](const AssertReport& report) { second.emplace_back(report.message); });
    EXPECT_THAT(first, ElementsAre("sAssertFailureFn == nullptr / asserts already initialized"));
    KVX_ASSERT_ALWAYS(AssertLevel::Warning, "still the first");
    EXPECT_EQ(first.size(), 2u);
    EXPECT_THAT(second, IsEmpty());

    terminateAssertions();
    KVX_ASSERT_ALWAYS(AssertLevel::Warning, "nobody listens");
    EXPECT_EQ(first.size(), 2u);
    initAssertions([&](const AssertReport& report) { second.emplace_back(report.message); });
    KVX_ASSERT_ALWAYS(AssertLevel::Warning, "after a new start");
    terminateAssertions();
    EXPECT_THAT(second, ElementsAre("after a new start"));
}

// The process is not configurable here (never decided), so no dialog can come up.
TEST(AssertionSetupTest, ProgramHandlerReportsTheCallersStack) {
    test::ScopedRecordingSink sink;
    test::ScopedCapturingLogger logger;
    initAssertions(makeAssertionHandler());
    KVX_ASSERT_ALWAYS(AssertLevel::Error, "stack wanted");
    terminateAssertions();
    ASSERT_EQ(sink->events().size(), 1u);
    const std::string stack = sink->events()[0].params()["extra_ctx"];
    EXPECT_THAT(stack, StartsWith("\n"));
    // Wine's capture runs past the thread's first frame into null addresses; none may show.
    EXPECT_THAT(stack, Not(HasSubstr("+fffffff"))) << stack;
    // Wine's dbghelp may or may not name this executable's functions; the module always shows.
    EXPECT_TRUE(stack.find(std::string(kTestModule) + "+") != std::string::npos ||
                stack.find("()+") != std::string::npos)
        << stack;
    EXPECT_EQ(
        logger->linesContaining("Assert Error Failed: condition[kUnconditionalAssert], message[stack wanted]")
            .size(),
        1u);
}

class CrashReportClientTest : public ::testing::Test {
protected:
    ~CrashReportClientTest() override {
        for (const auto& path : mReports) {
            std::filesystem::remove(fs::Path::fromUtf8(path).std());
        }
        utils::Singleton<config::ConfigSystem>::destroy();
    }

    nlohmann::json readReport(const std::string& path) {
        mReports.push_back(path);
        std::ifstream in(fs::Path::fromUtf8(path).std());
        return nlohmann::json::parse(in, nullptr, false);
    }
    std::vector<std::string> messages() {
        std::vector<std::string> texts;
        std::ranges::transform(mLogger->lines(), std::back_inserter(texts), &test::LoggedLine::message);
        return texts;
    }

    test::ScopedCapturingLogger mLogger;
    config::ConfigSystem& mConfig = utils::Singleton<config::ConfigSystem>::create();
    std::vector<std::string> mReports;
};

TEST_F(CrashReportClientTest, CrashNotificationLogsAndWritesTheReport) {
    {
        ExceptionSystem system("C:\\Korv\\KorvDestager.exe");
        system.setLogFilePaths("C:\\Logs\\KorvDestager.log", "C:\\Logs\\KorvDestagerVerbose.log");
        const std::string path = system.client().onNotification(
            kCrashNotification, {0xC0000005u, 0x140001a2b, "KorvDestager.exe", 0x1a2b, 7});
        ASSERT_FALSE(path.empty());
        auto report = readReport(path);
        EXPECT_EQ(report["identifier"], "05-KorvDestager.exe+1a2b");
        EXPECT_EQ(report["app.environment"], "production");
        EXPECT_EQ(report["executable"], "C:\\Korv\\KorvDestager.exe");
        EXPECT_EQ(report["logFiles"]["verbose"], "C:\\Logs\\KorvDestagerVerbose.log");
        EXPECT_THAT(messages(),
                    ElementsAre("Crash detection enabled",
                                "Whoops!\n\n\t************  CRASH DETECTED  ************\n",
                                "Gathering information about the crash - this may take some time...",
                                "... crash information gathered - generating report...",
                                "Crash Identifier [05-KorvDestager.exe+1a2b]",
                                "Serialized data to a temp file [" + path + "] to pass to crash reporter.",
                                "... report generation complete"));
        mLogger->clear();
        EXPECT_EQ(system.client().onNotification(9, {}), "");
        EXPECT_THAT(messages(), ElementsAre("Unhandled notification: id[9]"));
    }
    EXPECT_EQ(messages().back(), "Crash detection disabled");
}

// The process's filter is called directly with a made-up exception: the test must not crash.
TEST_F(CrashReportClientTest, UnhandledExceptionFilterRoutesToTheClient) {
    mConfig.set(config::Store::Ordinary, "app.environment", "qa", config::kScopeStatic);
    ExceptionSystem system("C:\\Korv\\KorvDestager.exe");
    const LPTOP_LEVEL_EXCEPTION_FILTER installed = SetUnhandledExceptionFilter(nullptr);
    SetUnhandledExceptionFilter(installed);
    ASSERT_NE(installed, nullptr);

    EXCEPTION_RECORD record{};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    record.ExceptionAddress = reinterpret_cast<void*>(&exceptionSiteAnchor);
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};
    EXPECT_EQ(installed(&pointers), EXCEPTION_CONTINUE_SEARCH);

    auto written = mLogger->linesContaining("Serialized data to a temp file [");
    ASSERT_EQ(written.size(), 1u);
    const std::string& line = written[0].message;
    const auto open = line.find('[') + 1;
    auto report = readReport(line.substr(open, line.find(']') - open));
    EXPECT_THAT(report["identifier"].get<std::string>(), StartsWith(std::string("05-") + kTestModule + "+"));
    EXPECT_EQ(report["app.environment"], "qa");
    EXPECT_EQ(report["threadId"], GetCurrentThreadId());

    system.disable();
    const LPTOP_LEVEL_EXCEPTION_FILTER restored = SetUnhandledExceptionFilter(nullptr);
    SetUnhandledExceptionFilter(restored);
    EXPECT_NE(restored, installed);
}

}  // namespace
}  // namespace kvx::foundation
