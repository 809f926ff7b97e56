// Under Wine the Restart Manager names no process, so the holder walk is fed by a stand-in Restart
// Manager through the process-utility seam; module lists, the exclusive-open probe and the
// process waits are real.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>

#include "foundation/TextConversion.h"
#include "process/LockedModules.h"
#include "process/ProcessTestSupport.h"
#include "process/ProcessUtilsImpl.h"
#include "support/Capture.h"
#include "support/TestClock.h"

namespace kvx::services::process {
namespace {

using namespace std::chrono_literals;

class FakeRestartManager final : public IRestartManager {
public:
    DWORD status = ERROR_SUCCESS;
    std::vector<RmProcessEntry> entries;
    int sessions = 0;
    std::vector<std::wstring> registered;

    DWORD startSession(DWORD& session) override {
        session = static_cast<DWORD>(++sessions);
        return ERROR_SUCCESS;
    }
    DWORD registerFiles(DWORD, const std::vector<std::wstring>& files) override {
        registered = files;
        return ERROR_SUCCESS;
    }
    DWORD getList(DWORD, uint32_t, std::vector<RmProcessEntry>& out) override {
        out = entries;  // may exceed the room: the caller must cut
        return status;
    }
    DWORD endSession(DWORD) override { return ERROR_SUCCESS; }
};

class NamelessProcessUtils final : public ProcessUtilsImpl {
public:
    using ProcessUtilsImpl::ProcessUtilsImpl;
    std::optional<std::string> getProcessName(uint32_t) override { return std::nullopt; }
};

class LockedModules : public ::testing::Test {
protected:
    void SetUp() override {
        mRm = std::make_shared<FakeRestartManager>();
        setProcessUtils(std::make_shared<ProcessUtilsImpl>(mRm));
    }
    void TearDown() override { setProcessUtils(nullptr); }

    std::string folder() const {
        return foundation::narrow(mFolder.path().std().wstring(), KVX_SOURCE_LOCATION);
    }

    test::ScopedTestClock mClock;
    test::TempFolder mFolder;
    std::shared_ptr<FakeRestartManager> mRm;
};

TEST_F(LockedModules, AFolderWithoutModulesStartsNoSession) {
    std::ofstream(mFolder.path().std() / L"readme.txt") << "text";
    EXPECT_FALSE(findLockedModule(folder(), modulePatterns()).has_value());
    EXPECT_EQ(mRm->sessions, 0);
}

TEST_F(LockedModules, ADllLoadedByAnotherProcessIsReportedWithThatProcessName) {
    const auto dll = mFolder.path().std() / L"korvcore.dll";
    std::filesystem::copy_file(test::helperPath(L"proc_test_module.dll"), dll);
    test::Child holder = test::startChild(test::helperPath(L"proc_idle.exe"), L"\"" + dll.wstring() + L"\"");
    const std::string dllPath = foundation::narrow(dll.wstring(), KVX_SOURCE_LOCATION);
    // Real time, short kernel waits: the child loads the DLL on its own.
    for (int i = 0; i < 500 && checkProcessForLoadedModules(holder.pid, {dllPath}).empty(); ++i) {
        Sleep(10);
    }
    mRm->entries = {{GetCurrentProcessId(), L"destager", 0}, {holder.pid, L"", 0}};

    auto report = findLockedModule(folder(), modulePatterns());
    test::killChild(holder);
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->lockingProcess, "proc_idle.exe");
    EXPECT_FALSE(report->isSelf);
    EXPECT_EQ(report->lockedFiles, (std::set<std::string>{dllPath}));
    ASSERT_EQ(mRm->registered.size(), 1u);
    EXPECT_EQ(mRm->registered[0], dll.wstring());
}

TEST_F(LockedModules, OnlyTheFirstThreeEntriesCountAndTheDestagerIsNamedWhenAlone) {
    mRm->status = ERROR_MORE_DATA;
    const DWORD self = GetCurrentProcessId();
    mRm->entries = {{self, L"KorvDestager", 0}, {self, L"KorvDestager", 0}, {self, L"KorvDestager", 0},
                    {self + 4, L"Other", 0}};
    std::optional<LockReport> report;
    processUtils().getProcessLockingFiles({"C:\\x\\a.dll"}, false, report);
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->lockingProcess, "KorvDestager");
    EXPECT_TRUE(report->isSelf);
    EXPECT_TRUE(report->lockedFiles.empty());
}

TEST_F(LockedModules, AHolderWithoutAnyNameIsUnnamed) {
    NamelessProcessUtils utils(mRm);
    mRm->entries = {{0xFFFFFF00u, L"\x7ff3", 2}};
    std::optional<LockReport> report;
    utils.getProcessLockingFiles({"C:\\x\\a.dll"}, false, report);
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->lockingProcess, "Unnamed Process 7ff3-2");
    EXPECT_FALSE(report->isSelf);

    mRm->entries.clear();
    report.reset();
    utils.getProcessLockingFiles({"C:\\x\\a.dll"}, false, report);
    EXPECT_FALSE(report.has_value());
}

TEST_F(LockedModules, AFileHeldExclusivelyIsFoundByTheOpenProbe) {
    const auto exe = mFolder.path().std() / L"KorvDesktop.exe";
    std::ofstream(exe) << "MZ";
    std::ofstream(mFolder.path().std() / L"free.dll") << "MZ";
    WinUtils::AutoHandle held(CreateFileW(exe.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.isValid());

    auto report = findLockedModule(folder(), modulePatterns());
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->lockingProcess, "");
    EXPECT_TRUE(report->isSelf);
    EXPECT_EQ(report->lockedFiles,
              (std::set<std::string>{foundation::narrow(exe.wstring(), KVX_SOURCE_LOCATION)}));
    EXPECT_EQ(mRm->registered.size(), 2u);
}

TEST_F(LockedModules, WaitForProcessPollsOnTheClock) {
    test::Child child = test::startChild(test::helperPath(L"proc_idle.exe"));
    const std::wstring running = test::helperPath(L"proc_idle.exe").wstring();
    const std::wstring absent = (mFolder.path().std() / L"absent.exe").wstring();

    EXPECT_TRUE(waitForProcess(running, WaitCondition::Running, 1000, 100));
    EXPECT_TRUE(waitForProcess(absent, WaitCondition::NotRunning, 1000, 100));
    EXPECT_TRUE(mClock->sleeps().empty());

    EXPECT_FALSE(waitForProcess(absent, WaitCondition::Running, 50, 0));
    EXPECT_EQ(mClock->sleeps(), (std::vector<std::chrono::milliseconds>(5, 10ms)));
    EXPECT_FALSE(processUtils().waitForProcessExit(running, 30, 500));
    EXPECT_EQ(mClock->sleeps().size(), 8u);
    EXPECT_EQ(mClock->sleeps().back(), 10ms);
    test::killChild(child);

    test::ScopedAssertCapture asserts;
    EXPECT_FALSE(waitForProcess(absent, static_cast<WaitCondition>(7), 50, 10));
    EXPECT_EQ(asserts.messages(), std::vector<std::string>{"Unknown condition"});
}

}  // namespace
}  // namespace kvx::services::process
