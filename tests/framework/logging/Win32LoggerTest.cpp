#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/TextConversion.h"
#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "foundation/win/SystemMemory.h"
#include "framework/logging/ThreadedLogger.h"
#include "framework/logging/Win32LogStorage.h"
#include "framework/workqueue/NamedThread.h"
#include "framework/workqueue/Win32ThreadPlatform.h"
#include "support/TestClock.h"

namespace kvx::services::logging {
namespace {

namespace fs = std::filesystem;

class Win32LoggerTest : public ::testing::Test {
protected:
    Win32LoggerTest() : mPrevious(setThreadPlatform(&win32ThreadPlatform())) {
        mRoot = fs::temp_directory_path() / fmt::format("kvx-fw-logs-{}-{}", GetCurrentProcessId(), sCounter++);
        fs::remove_all(mRoot);
    }
    ~Win32LoggerTest() override {
        std::error_code ignored;
        fs::remove_all(mRoot, ignored);
        setThreadPlatform(mPrevious);
    }

    std::string folder() const { return foundation::narrow(mRoot.wstring() + L"\\Logs\\Nested", KVX_SOURCE_LOCATION); }
    fs::path file(const wchar_t* name) const { return mRoot / L"Logs" / L"Nested" / name; }
    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::unique_ptr<ThreadedLogger> openLogger(uint64_t mainLimit = kMainLogSizeLimit) {
        auto logger = std::make_unique<ThreadedLogger>(win32LoggerEnvironment());
        auto opened = logger->open({folder(), "KorvDestager", mainLimit, kVerboseLogSizeLimit});
        EXPECT_TRUE(opened.isOk()) << (opened.isError() ? opened.peekError() : "");
        return logger;
    }

    static inline int sCounter = 0;
    test::ScopedTestClock mClock;
    IThreadPlatform* mPrevious;
    fs::path mRoot;
};

TEST_F(Win32LoggerTest, WritesBothFilesAndAppendsAcrossRuns) {
    auto logger = openLogger();
    logger->log(Debug, "void kvx::a::probe(int)", "debug[1]");
    logger->log(Info, "kvx::a::run", "info[2]");
    logger.reset();
    logger = openLogger();
    logger->log(Error, "kvx::a::run", "second run");
    logger.reset();

    const std::string main = read(file(L"KorvDestager.log"));
    const std::string verbose = read(file(L"KorvDestagerVerbose.log"));
    const std::string pid = fmt::format("PID:{:>6}\t", GetCurrentProcessId());
    EXPECT_EQ(main.rfind("\n     1\t[2026-01-01T00:00:00.000Z]\t" + pid, 0), 0u) << main;
    EXPECT_NE(main.find("\tINFO    \t(kvx::a::run)\tinfo[2]\ngoodbye\n\n"), std::string::npos) << main;
    EXPECT_EQ(main.find("debug[1]"), std::string::npos);
    EXPECT_NE(verbose.find("\tDEBUG   \t(kvx::a::probe)\tdebug[1]\n"), std::string::npos) << verbose;
    EXPECT_TRUE(main.ends_with("\tERROR   \t(kvx::a::run)\tsecond run\ngoodbye\n")) << main;
    // The writer thread announces itself at VERBOSE only when it is the process logger; not here.
    EXPECT_EQ(verbose.find("Thread started"), std::string::npos);
}

// The files are opened for appending: what another writer adds meanwhile stays, the logger's lines follow.
TEST_F(Win32LoggerTest, AnotherWritersLinesAreKept) {
    auto logger = openLogger();
    std::ofstream(file(L"KorvDestager.log"), std::ios::binary | std::ios::app) << "another writer\n";
    logger->log(Info, "kvx::a::run", "mine");
    logger.reset();
    const std::string main = read(file(L"KorvDestager.log"));
    EXPECT_EQ(main.rfind("\nanother writer\n     1\t", 0), 0u) << main;
    EXPECT_TRUE(main.ends_with("\tmine\ngoodbye\n")) << main;
}

TEST_F(Win32LoggerTest, RotationReplacesTheOlderBackup) {
    fs::create_directories(file(L""));
    std::ofstream(file(L"KorvDestager.bak")) << "older backup\n";
    auto logger = openLogger(200);
    for (int i = 0; i < 3; ++i) {
        logger->log(Warn, "kvx::f", fmt::format("line[{}] {}", i, std::string(80, 'x')));
    }
    logger.reset();
    const std::string backup = read(file(L"KorvDestager.bak"));
    const std::string current = read(file(L"KorvDestager.log"));
    EXPECT_EQ(backup.find("older backup"), std::string::npos);
    EXPECT_NE(backup.find("line[1]"), std::string::npos) << backup;
    EXPECT_EQ(current.rfind("     2\t", 0), 0u) << current;
    EXPECT_NE(current.find("line[2]"), std::string::npos);
}

TEST_F(Win32LoggerTest, FolderThatIsAFileCannotBeCreated) {
    fs::create_directories(mRoot);
    std::ofstream(mRoot / L"Logs") << "in the way";
    ThreadedLogger logger(win32LoggerEnvironment());
    auto opened = logger.open({folder(), "KorvDestager"});
    EXPECT_EQ(opened.peekError().rfind("Could not create directory=[" + folder() + "] err=[", 0), 0u)
        << opened.peekError();
    EXPECT_FALSE(logger.isEnabled());
}

// The folder comes from the special-path service: a redirection of its base folder moves the logs.
TEST(Win32LogsFolder, FollowsTheElevationRuleAndTheRedirections) {
    const std::string tail = isElevatedOrSystem() ? "\\Korv Desktop\\Logs" : "\\Tessory\\Korv Desktop\\Logs";
    for (const bool redirected : {false, true}) {
        SCOPED_TRACE(redirected);
        if (redirected) {
            using foundation::SpecialDirectory;
            foundation::setSpecialDirectoryRedirections(
                {{SpecialDirectory::programData, "R:\\qa"}, {SpecialDirectory::localAppData, "R:\\qa"}});
        }
        auto folder = defaultLogsFolder();
        foundation::setSpecialDirectoryRedirections({});
        ASSERT_TRUE(folder.isOk()) << folder.peekError();
        EXPECT_TRUE(folder.peek().ends_with(tail)) << folder.peek();
        EXPECT_EQ(folder.peek() == "R:\\qa" + tail, redirected) << folder.peek();
    }
}

TEST(Win32ThreadPlatform, WorkerThreadIsNamedAndInAnApartment) {
    IThreadPlatform* previous = setThreadPlatform(&win32ThreadPlatform());
    std::wstring description;
    HRESULT secondInit = E_FAIL;
    DWORD threadId = 0;
    auto thread = makeNamedKorvThread("global-io-4", [&] {
        using GetThreadDescriptionFn = HRESULT WINAPI(HANDLE, PWSTR*);
        auto* get = reinterpret_cast<GetThreadDescriptionFn*>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
        PWSTR text = nullptr;
        if (get != nullptr && SUCCEEDED(get(GetCurrentThread(), &text))) {
            const WinUtils::UniqueLocalMemory<PWSTR> owned(text);
            description = text;
        }
        // Already initialised as a single-threaded apartment: a second call says so.
        secondInit = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(secondInit)) {
            CoUninitialize();
        }
        threadId = threadPlatform().currentThreadId();
    });
    ASSERT_TRUE(thread.isOk());
    thread.unwrap().join();
    setThreadPlatform(previous);
    EXPECT_EQ(secondInit, S_FALSE);
    EXPECT_NE(threadId, GetCurrentThreadId());
    if (GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription") != nullptr) {
        EXPECT_EQ(description, L"global-io-4");
    }
}

}  // namespace
}  // namespace kvx::services::logging
