// Under Wine the Restart Manager names no process, so the holder walk is fed by a stand-in Restart
// Manager through the process-utility seam; module lists, the exclusive-open probe and the
// process waits are real.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

#include "foundation/TextConversion.h"
#include "process/LockedModules.h"
#include "process/ProcessTestSupport.h"
#include "process/ProcessUtilsImpl.h"
#include "process/RestartManager.h"
#include "support/Capture.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::services::process {
namespace {

using namespace std::chrono_literals;

// Answers `entries` (perhaps more than there is room for: the caller must cut) with `status`.
struct FakeRestartManager final : IRestartManager {
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
        out = entries;
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

// The suite's client keeping a DLL of its folder loaded, as on a user's machine.
TEST_F(LockedModules, ADllLoadedByAnotherProcessIsReportedWithThatProcessName) {
    const auto exe = mFolder.path().std() / L"KorvDesktop.exe";
    const auto dll = mFolder.path().std() / L"KorvSimModule.dll";
    std::filesystem::copy_file(test::simPath(L"KorvDesktop.exe"), exe);
    std::filesystem::copy_file(test::simPath(L"KorvSimModule.dll"), dll);
    test::Child holder = test::startChild(exe, L"--dll=KorvSimModule.dll");
    const std::string dllPath = foundation::narrow(dll.wstring(), KVX_SOURCE_LOCATION);
    // Real time, short kernel waits: the child loads the DLL on its own.
    for (int i = 0; i < 500 && checkProcessForLoadedModules(holder.pid, {dllPath}).empty(); ++i) {
        Sleep(10);
    }
    mRm->entries = {{GetCurrentProcessId(), L"destager", 0}, {holder.pid, L"", 0}};

    auto report = findLockedModule(folder(), modulePatterns());
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->lockingProcess, "KorvDesktop.exe");
    EXPECT_FALSE(report->isSelf);
    EXPECT_EQ(report->lockedFiles,
              (std::set<std::string>{dllPath, foundation::narrow(exe.wstring(), KVX_SOURCE_LOCATION)}));
    EXPECT_EQ(mRm->registered.size(), 2u);
}

// Only the first three entries of the list count; the destager is named only when it is alone.
TEST_F(LockedModules, TheHolderIsTheFirstOtherProcessElseTheDestagerElseUnnamed) {
    const DWORD self = GetCurrentProcessId();
    const struct {
        DWORD status;
        std::vector<RmProcessEntry> entries;
        std::optional<std::string> holder;
        bool isSelf;
    } rows[] = {
        {ERROR_MORE_DATA,
         {{self, L"KorvDestager", 0}, {self, L"KorvDestager", 0}, {self, L"KorvDestager", 0}, {self + 4, L"Other", 0}},
         "KorvDestager",
         true},
        {ERROR_SUCCESS, {{0xFFFFFF00u, L"\x7ff3", 2}}, "Unnamed Process 7ff3-2", false},
        {ERROR_SUCCESS, {}, std::nullopt, false},
    };
    NamelessProcessUtils utils(mRm);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.holder.value_or("none"));
        mRm->status = row.status;
        mRm->entries = row.entries;
        std::optional<LockReport> report;
        utils.getProcessLockingFiles({"C:\\x\\a.dll"}, false, report);
        ASSERT_EQ(report.has_value(), row.holder.has_value());
        if (report) {
            EXPECT_EQ(report->lockingProcess, *row.holder);
            EXPECT_EQ(report->isSelf, row.isSelf);
            EXPECT_TRUE(report->lockedFiles.empty());
        }
    }
}

TEST_F(LockedModules, AFileHeldExclusivelyIsFoundByTheOpenProbe) {
    const auto exe = mFolder.path().std() / L"KorvDesktop.exe";
    std::ofstream(exe) << "MZ";
    std::ofstream(mFolder.path().std() / L"free.dll") << "MZ";
    WinUtils::AutoHandle held(CreateFileW(exe.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.valid());

    auto report = findLockedModule(folder(), modulePatterns());
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->lockingProcess, "");
    EXPECT_TRUE(report->isSelf);
    EXPECT_EQ(report->lockedFiles,
              (std::set<std::string>{foundation::narrow(exe.wstring(), KVX_SOURCE_LOCATION)}));
    EXPECT_EQ(mRm->registered.size(), 2u);
}

TEST_F(LockedModules, WaitForProcessPollsOnTheClock) {
    const std::wstring running = test::simPath(L"KorvUninstall.exe").wstring();
    test::Child child = test::startChild(running);
    const std::wstring absent = (mFolder.path().std() / L"absent.exe").wstring();

    EXPECT_TRUE(waitForProcess(running, WaitCondition::Running, 1000, 100));
    EXPECT_TRUE(waitForProcess(absent, WaitCondition::NotRunning, 1000, 100));
    EXPECT_TRUE(mClock->sleeps().empty());

    EXPECT_FALSE(waitForProcess(absent, WaitCondition::Running, 50, 0));
    EXPECT_EQ(mClock->sleeps(), (std::vector<std::chrono::milliseconds>(5, 10ms)));
    EXPECT_FALSE(processUtils().waitForProcessExit(running, 30, 500));
    EXPECT_EQ(mClock->sleeps().size(), 8u);
    EXPECT_EQ(mClock->sleeps().back(), 10ms);
    child.kill();

    test::ScopedAssertCapture asserts;
    EXPECT_FALSE(waitForProcess(absent, static_cast<WaitCondition>(7), 50, 10));
    EXPECT_EQ(asserts.messages(), std::vector<std::string>{"Unknown condition"});
}

// An ERROR_MORE_DATA answer can report more than the room given; rows of pid 0 name nobody.
TEST(RestartManagerList, KeepsAtMostTheRoomAndDropsPidZero) {
    RM_PROCESS_INFO infos[3] = {};
    const DWORD pids[] = {0, 42, 43};
    for (int i = 0; i < 3; ++i) {
        infos[i].Process.dwProcessId = pids[i];
        wcscpy(infos[i].strAppName, i == 0 ? L"" : L"KorvDesktop.exe");
    }
    const std::tuple<UINT, UINT, std::vector<uint32_t>> rows[] = {
        {3, 3, {42, 43}},  // filled and room agree
        {5, 2, {42}},      // more reported than there was room for
        {1, 3, {}},        // fewer filled than room: only the filled rows count
    };
    for (const auto& [filled, room, expected] : rows) {
        std::vector<uint32_t> got;
        for (const RmProcessEntry& entry : listedProcesses(infos, filled, room)) {
            got.push_back(entry.pid);
        }
        EXPECT_EQ(got, expected) << "filled " << filled << ", room " << room;
    }
}

}  // namespace
}  // namespace kvx::services::process
