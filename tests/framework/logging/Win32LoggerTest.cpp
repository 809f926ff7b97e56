#include <objbase.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "foundation/win/SystemMemory.h"
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

}  // namespace
}  // namespace kvx::services::logging
