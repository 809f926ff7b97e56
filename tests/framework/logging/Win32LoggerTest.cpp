// The logger, its files and thread, and the assertion set-up, stack capture and crash-report client
// under Wine.
#include <objbase.h>
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "foundation/fs/Path.h"
#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "foundation/win/SystemMemory.h"
#include "framework/config/ConfigSystem.h"
#include "framework/errors/AssertionHandler.h"
#include "framework/errors/CrashReport.h"
#include "framework/errors/ExceptionSystem.h"
#include "framework/errors/RecordingSink.h"
#include "framework/logging/ThreadedLogger.h"
#include "framework/logging/Win32LogStorage.h"
#include "framework/workqueue/NamedThread.h"
#include "framework/workqueue/Win32ThreadPlatform.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::services::logging {
namespace {

class Win32LoggerTest : public ::testing::Test {
protected:
    Win32LoggerTest() : mPrevious(setThreadPlatform(&win32ThreadPlatform())) {}
    ~Win32LoggerTest() override { setThreadPlatform(mPrevious); }

    std::filesystem::path file(const char* name) const {
        return (mTemp / fs::Path::fromUtf8(std::string("Logs\\Nested\\") + name)).wide();
    }
    std::string read(const char* name) const {
        std::ifstream in(file(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::unique_ptr<ThreadedLogger> openLogger(uint64_t mainLimit = kMainLogSizeLimit) {
        auto logger = std::make_unique<ThreadedLogger>(win32LoggerEnvironment());
        EXPECT_TRUE(logger->open({mFolder, "KorvDestager", mainLimit, kVerboseLogSizeLimit}).isOk());
        return logger;
    }

    IThreadPlatform* mPrevious;
    test::TempFolder mTemp;
    std::string mFolder = (mTemp / fs::Path::fromUtf8("Logs\\Nested")).utf8();
    test::ScopedTestClock mClock;
};

// Levels choose the files; appending keeps another writer's line, and a second run follows the first.
TEST_F(Win32LoggerTest, WritesBothFilesAndAppends) {
    auto logger = openLogger();
    std::ofstream(file("KorvDestager.log"), std::ios::binary | std::ios::app) << "another writer\n";
    logger->log(Debug, "void kvx::a::probe(int)", "debug[1]");
    logger->log(Info, "kvx::a::run", "info[2]");
    logger.reset();
    logger = openLogger();
    logger->log(Error, "kvx::a::run", "second run");
    logger.reset();

    const std::string main = read("KorvDestager.log");
    const std::string pid = fmt::format("PID:{:>6}\t", GetCurrentProcessId());
    EXPECT_EQ(main.rfind("\nanother writer\n     1\t[2026-01-01T00:00:00.000Z]\t" + pid, 0), 0u) << main;
    EXPECT_NE(main.find("\tINFO    \t(kvx::a::run)\tinfo[2]\ngoodbye\n\n"), std::string::npos) << main;
    EXPECT_TRUE(main.ends_with("\tERROR   \t(kvx::a::run)\tsecond run\ngoodbye\n")) << main;
    EXPECT_EQ(main.find("debug[1]"), std::string::npos);
    EXPECT_NE(read("KorvDestagerVerbose.log").find("\tDEBUG   \t(kvx::a::probe)\tdebug[1]\n"),
              std::string::npos);
}

TEST_F(Win32LoggerTest, RotationReplacesTheOlderBackup) {
    mTemp.writeFile(fs::Path::fromUtf8("Logs\\Nested\\KorvDestager.bak"), "older backup\n");
    auto logger = openLogger(200);
    for (int i = 0; i < 3; ++i) {
        logger->log(Warn, "kvx::f", fmt::format("line[{}] {}", i, std::string(80, 'x')));
    }
    logger.reset();
    const std::string backup = read("KorvDestager.bak");
    const std::string main = read("KorvDestager.log");
    EXPECT_TRUE(backup.find("line[1]") != std::string::npos && backup.find("older") == std::string::npos)
        << backup;
    EXPECT_TRUE(main.starts_with("     2\t") && main.find("line[2]") != std::string::npos) << main;
}

TEST_F(Win32LoggerTest, FolderThatIsAFileCannotBeCreated) {
    mTemp.writeFile(fs::Path::fromUtf8("Logs"), "in the way");
    ThreadedLogger logger(win32LoggerEnvironment());
    auto opened = logger.open({mFolder, "KorvDestager"});
    EXPECT_EQ(opened.peekError().rfind("Could not create directory=[" + mFolder + "] err=[", 0), 0u)
        << opened.peekError();
    EXPECT_FALSE(logger.isEnabled());
}

// The folder comes from the special-path service: a redirection of its base folder moves the logs.
TEST(Win32LogsFolder, FollowsTheRedirections) {
    using foundation::SpecialDirectory;
    foundation::setSpecialDirectoryRedirections(
        {{SpecialDirectory::programData, "R:\\qa"}, {SpecialDirectory::localAppData, "R:\\qa"}});
    auto folder = defaultLogsFolder();
    foundation::setSpecialDirectoryRedirections({});
    EXPECT_EQ(folder.isOk() ? folder.peek() : folder.peekError(),
              isElevatedOrSystem() ? "R:\\qa\\Korv Desktop\\Logs" : "R:\\qa\\Tessory\\Korv Desktop\\Logs");
}

TEST_F(Win32LoggerTest, WorkerThreadIsNamedAndInAnApartment) {
    using GetThreadDescriptionFn = HRESULT WINAPI(HANDLE, PWSTR*);
    auto* getDescription = reinterpret_cast<GetThreadDescriptionFn*>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    ASSERT_NE(getDescription, nullptr);
    std::wstring description;
    HRESULT secondInit = E_FAIL;
    auto thread = makeNamedKorvThread("global-io-4", [&] {
        PWSTR text = nullptr;
        if (SUCCEEDED(getDescription(GetCurrentThread(), &text))) {
            description = WinUtils::UniqueLocalMemory<PWSTR>(text).get();
        }
        // Already initialised as a single-threaded apartment: a second call says so.
        secondInit = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(secondInit)) {
            CoUninitialize();
        }
    });
    ASSERT_TRUE(thread.isOk());
    thread.unwrap().join();
    EXPECT_EQ(std::tuple(secondInit, description), std::tuple(S_FALSE, std::wstring(L"global-io-4")));
}

using namespace foundation;
using ::testing::ElementsAre;
using ::testing::StartsWith;

constexpr const char* kTestModule = "fw_logging_windows_tests.exe";

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
}  // namespace kvx::services::logging
