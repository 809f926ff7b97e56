// Wine's Restart Manager names nobody: a stand-in feeds the holder walk; modules, probes and waits are real.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <tuple>

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

    DWORD startSession(DWORD& session) override {
        session = static_cast<DWORD>(++sessions);
        return ERROR_SUCCESS;
    }
    DWORD registerFiles(DWORD, const std::vector<std::wstring>&) override { return ERROR_SUCCESS; }
    DWORD getList(DWORD, uint32_t, std::vector<RmProcessEntry>& out) override {
        out = entries;
        return status;
    }
    DWORD endSession(DWORD) override { return ERROR_SUCCESS; }
};

class LockedModules : public ::testing::Test {
protected:
    void SetUp() override { setProcessUtils(std::make_shared<ProcessUtilsImpl>(mRm)); }
    void TearDown() override { setProcessUtils(nullptr); }

    std::filesystem::path file(const wchar_t* name) const { return mFolder.path().std() / name; }
    std::optional<LockReport> find() const {
        return findLockedModule(test::utf8(mFolder.path().std()), modulePatterns());
    }

    test::ScopedTestClock mClock;
    test::ScopedCapturingLogger mLogger;
    test::TempFolder mFolder;
    std::shared_ptr<FakeRestartManager> mRm = std::make_shared<FakeRestartManager>();
};

// No modules: nobody is asked. A loaded DLL names its holder; a held module with none names the destager.
TEST_F(LockedModules, LoadedAndHeldModulesAreReportedWithTheirHolder) {
    std::ofstream(file(L"readme.txt")) << "text";
    EXPECT_FALSE(find().has_value());
    EXPECT_EQ(mRm->sessions, 0);
    std::filesystem::copy_file(test::simPath(L"KorvDesktop.exe"), file(L"KorvDesktop.exe"));
    std::filesystem::copy_file(test::simPath(L"KorvSimModule.dll"), file(L"KorvSimModule.dll"));
    std::ofstream(file(L"held.dll")) << "MZ";
    const WinUtils::AutoHandle held(
        CreateFileW(file(L"held.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.valid());
    test::Child holder = test::startChild(file(L"KorvDesktop.exe"), L"--dll=KorvSimModule.dll");
    const std::string dll = test::utf8(file(L"KorvSimModule.dll"));
    // Real time, short kernel waits: the child loads the DLL on its own.
    for (int i = 0; i < 500 && checkProcessForLoadedModules(holder.pid, {dll}).empty(); ++i) {
        Sleep(10);
    }
    mRm->entries = {{GetCurrentProcessId(), L"destager", 0}, {holder.pid, L"", 0}};
    auto report = find();
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->lockingProcess, "KorvDesktop.exe");
    EXPECT_FALSE(report->isSelf);
    EXPECT_EQ(report->lockedFiles,
              (std::set<std::string>{"KorvSimModule.dll", "KorvDesktop.exe", "held.dll"}));
    holder.kill();
    mRm->entries.clear();
    report = find();
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->lockingProcess, "");
    EXPECT_TRUE(report->isSelf);
    EXPECT_EQ(report->lockedFiles, std::set<std::string>{"held.dll"});
}

// The first three entries count; the destager only when alone; else the process name or placeholder.
TEST_F(LockedModules, TheHolderIsTheFirstOtherProcessElseTheDestagerElseUnnamed) {
    const RmProcessEntry self{GetCurrentProcessId(), L"KorvDestager", 0};
    const struct {
        DWORD status;
        std::vector<RmProcessEntry> entries;
        std::optional<std::string> holder;
        bool isSelf;
    } rows[] = {
        {ERROR_MORE_DATA, {self, self, self, {self.pid + 4, L"Other", 0}}, "KorvDestager", true},
        {ERROR_SUCCESS, {{0xFFFFFF00u, L"\x7ff3", 2}}, "Unnamed Process 7ff3-2", false},
        {ERROR_SUCCESS, {}, std::nullopt, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.holder.value_or("none"));
        mLogger->clear();
        mRm->status = row.status;
        mRm->entries = row.entries;
        std::optional<LockReport> report;
        processUtils().getProcessLockingFiles({"C:\\x\\a.dll"}, false, report);
        ASSERT_EQ(report.has_value(), row.holder.has_value());
        if (report) {
            EXPECT_EQ(report->lockingProcess, *row.holder);
            EXPECT_EQ(report->isSelf, row.isSelf);
            EXPECT_TRUE(report->lockedFiles.empty());
        }
        const bool unnamed = row.holder && row.holder->starts_with("Unnamed");
        EXPECT_EQ(mLogger->count("Failed to get process name for pid[4294967040]"), unnamed ? 1u : 0u);
    }
}

// A running program is found by the client launch tests.
TEST_F(LockedModules, WaitForProcessPollsOnTheClock) {
    const std::wstring absent = file(L"absent.exe").wstring();
    EXPECT_FALSE(waitForProcess(absent, WaitCondition::Running, 50, 0));
    EXPECT_EQ(mClock->sleeps(), (std::vector<std::chrono::milliseconds>(5, 10ms)));
    test::ScopedAssertCapture asserts;
    EXPECT_FALSE(waitForProcess(absent, static_cast<WaitCondition>(7), 50, 10));
    EXPECT_EQ(asserts.messages(), std::vector<std::string>{"Unknown condition"});
}

// An ERROR_MORE_DATA answer can report more than the room given; rows of pid 0 name nobody.
TEST(RestartManagerList, KeepsAtMostTheRoomAndDropsPidZero) {
    RM_PROCESS_INFO infos[3] = {};
    infos[1].Process.dwProcessId = 42;
    infos[2].Process.dwProcessId = 43;
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
