// Real child processes under Wine: cmd.exe for captured output and an exit code, the suite
// simulator for a child that never ends by itself.
#include "process/Process.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "process/ProcessTestSupport.h"
#include "support/Capture.h"
#include "support/TempFolder.h"

namespace kvx::services::process {
namespace {

std::string systemProgram(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return (std::filesystem::path(folder) / name).string();
}

DWORD exitCodeAfter(Process& process, DWORD waitMs) {
    WaitForSingleObject(process.processHandle(), waitMs);
    DWORD code = 0;
    GetExitCodeProcess(process.processHandle(), &code);
    return code;
}

TEST(Process, CapturesOutputAndExitCodeOfAChild) {
    ProcessInfo info;
    info.exe = systemProgram(L"cmd.exe");
    info.args = "/c echo captured-line& exit 7";
    info.capture = true;
    auto started = Process::createAndRun(info);
    ASSERT_TRUE(started.isOk()) << errorName(started.peekError());
    Process process = started.unwrap();
    EXPECT_EQ(process.state(), Process::State::Running);

    std::string output;
    process.runWait([&output](std::string_view chunk) { output += chunk; });

    EXPECT_NE(output.find("captured-line"), std::string::npos) << output;
    EXPECT_EQ(exitCodeAfter(process, 10000), 7u);
}

TEST(Process, RefusesAMissingWorkingDirectoryBeforeCreatingAnything) {
    test::ScopedCapturingLogger logger;
    test::TempFolder root;
    ProcessInfo info;
    info.exe = systemProgram(L"cmd.exe");
    info.dir = (root.path() / fs::Path(L"absent")).utf8();

    auto started = Process::createAndRun(info);

    ASSERT_TRUE(started.isError());
    EXPECT_EQ(started.peekError(), Process::Error::WorkingDirNotPresent);
    EXPECT_EQ(logger->linesContaining("Working directory does not exist [" + info.dir + "].").size(), 1u);
    EXPECT_EQ(logger->linesContaining("Could not create process [exe=[").size(), 1u);
}

TEST(Process, TerminatesAChildThatNeverEndsThroughItsJob) {
    ProcessInfo info;
    info.exe = test::simPath(L"KorvLauncher.exe").string();
    info.useJob = true;
    auto started = Process::createAndRun(info);
    ASSERT_TRUE(started.isOk()) << errorName(started.peekError());
    Process process = started.unwrap();
    ASSERT_EQ(WaitForSingleObject(process.processHandle(), 200), static_cast<DWORD>(WAIT_TIMEOUT));

    EXPECT_EQ(process.terminate(), Process::Error::None);

    EXPECT_EQ(WaitForSingleObject(process.processHandle(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
}

TEST(Process, RunWaitWithoutACallbackIsAFailedCheck) {
    test::ScopedAssertCapture asserts;
    ProcessInfo info;
    info.exe = systemProgram(L"cmd.exe");
    info.args = "/c exit 0";
    info.capture = true;
    auto started = Process::createAndRun(info);
    ASSERT_TRUE(started.isOk());
    Process process = started.unwrap();

    process.runWait(nullptr);

    ASSERT_EQ(asserts.asserts().size(), 1u);
    EXPECT_EQ(asserts.asserts()[0].condition, "callback != nullptr");
    exitCodeAfter(process, 10000);
}

}  // namespace
}  // namespace kvx::services::process
