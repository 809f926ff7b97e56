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
#include "framework/errors/CrashReport.h"
#include "framework/errors/ExceptionSystem.h"

namespace kvx::foundation {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

constexpr const char* kTestModule = "fw_errors_windows_tests.exe";

// A code address inside this executable for a made-up exception.
[[gnu::noinline]] void exceptionSiteAnchor() {
    asm volatile("");
}

std::string bracketed(const std::string& line) {
    const auto open = line.find('[') + 1;
    return line.substr(open, line.find(']') - open);
}

class ErrorsWindowsTest : public ::testing::Test {
protected:
    ~ErrorsWindowsTest() override { utils::Singleton<config::ConfigSystem>::destroy(); }
    std::vector<std::string> messages() {
        std::vector<std::string> texts;
        std::ranges::transform(mLogger->lines(), std::back_inserter(texts), &test::LoggedLine::message);
        return texts;
    }

    test::ScopedRecordingSink mSink;
    test::ScopedCapturingLogger mLogger;
    config::ConfigSystem& mConfig = utils::Singleton<config::ConfigSystem>::create();
};

// The process is not configurable here (never decided), so no dialog can come up.
TEST_F(ErrorsWindowsTest, AssertionsReportTheCallersStackAndACrashIsReportedForTheCrashReporter) {
    initAssertions(makeAssertionHandler());
    initAssertions([](const AssertReport&) { ADD_FAILURE() << "the second handler was installed"; });
    KVX_ASSERT_ALWAYS(AssertLevel::Error, "stack wanted");
    terminateAssertions();
    EXPECT_THAT(messages(),
                ElementsAre("Assert Fatal Failed: condition[sAssertFailureFn == nullptr], "
                            "message[asserts already initialized]",
                            "Assert Error Failed: condition[kUnconditionalAssert], message[stack wanted]"));
    ASSERT_EQ(mSink->events().size(), 2u);
    const std::string stack = mSink->events()[1].params()["extra_ctx"];
    EXPECT_THAT(stack, StartsWith("\n"));
    // Wine's capture runs past the thread's first frame into null addresses; none may show.
    EXPECT_EQ(stack.find("+fffffff"), std::string::npos) << stack;
    // Wine's dbghelp may or may not name this executable's functions; the module always shows.
    EXPECT_TRUE(stack.find(std::string(kTestModule) + "+") != std::string::npos ||
                stack.find("()+") != std::string::npos)
        << stack;

    // The process's filter is called directly with a made-up exception: the test must not crash.
    mLogger->clear();
    mConfig.set(config::Store::Ordinary, "app.environment", "qa", config::kScopeStatic);
    LPTOP_LEVEL_EXCEPTION_FILTER installed = nullptr;
    {
        ExceptionSystem system("C:\\Korv\\KorvDestager.exe");
        system.setLogFilePaths("C:\\Logs\\KorvDestager.log", "C:\\Logs\\KorvDestagerVerbose.log");
        installed = SetUnhandledExceptionFilter(nullptr);
        SetUnhandledExceptionFilter(installed);
        ASSERT_NE(installed, nullptr);
        EXCEPTION_RECORD record{};
        record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
        record.ExceptionAddress = reinterpret_cast<void*>(&exceptionSiteAnchor);
        CONTEXT context{};
        EXCEPTION_POINTERS pointers{&record, &context};
        EXPECT_EQ(installed(&pointers), EXCEPTION_CONTINUE_SEARCH);

        const auto lines = messages();
        ASSERT_EQ(lines.size(), 7u);
        const std::string identifier = bracketed(lines[4]);
        const std::string path = bracketed(lines[5]);
        EXPECT_THAT(identifier, StartsWith(std::string("05-") + kTestModule + "+"));
        EXPECT_EQ(crashIdentifier({0xC00000FDu, 0xdead0, "", 0, 1}), "FD-dead0");  // outside any module
        EXPECT_THAT(lines,
                    ElementsAre("Crash detection enabled",
                                "Whoops!\n\n\t************  CRASH DETECTED  ************\n",
                                "Gathering information about the crash - this may take some time...",
                                "... crash information gathered - generating report...",
                                "Crash Identifier [" + identifier + "]",
                                "Serialized data to a temp file [" + path + "] to pass to crash reporter.",
                                "... report generation complete"));
        std::ifstream in(fs::Path::fromUtf8(path).std());
        const auto report = nlohmann::json::parse(in, nullptr, false);
        in.close();
        std::filesystem::remove(fs::Path::fromUtf8(path).std());
        EXPECT_EQ(report["identifier"], identifier);
        EXPECT_EQ(report["app.environment"], "qa");
        EXPECT_EQ(report["executable"], "C:\\Korv\\KorvDestager.exe");
        EXPECT_EQ(report["logFiles"]["verbose"], "C:\\Logs\\KorvDestagerVerbose.log");
        EXPECT_EQ(report["threadId"], GetCurrentThreadId());

        mLogger->clear();
        EXPECT_EQ(system.client().onNotification(9, {}), "");
        EXPECT_THAT(messages(), ElementsAre("Unhandled notification: id[9]"));
    }
    EXPECT_EQ(messages().back(), "Crash detection disabled");
    const LPTOP_LEVEL_EXCEPTION_FILTER restored = SetUnhandledExceptionFilter(nullptr);
    SetUnhandledExceptionFilter(restored);
    EXPECT_NE(restored, installed);
}

}  // namespace
}  // namespace kvx::foundation
