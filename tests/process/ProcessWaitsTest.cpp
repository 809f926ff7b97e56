#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "foundation/TextConversion.h"
#include "process/ProcessTestSupport.h"
#include "process/SuiteProcesses.h"
#include "support/Capture.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::apps::suite {
namespace {

using WinUtils::AutoHandle;

class ProcessWaits : public ::testing::Test {
protected:
    test::ScopedTestClock mClock;
    test::ScopedCapturingLogger mLogger;
    test::TempFolder mFolder;
};

// More handles than one wait takes are waited for in groups; only those not signalled are kept.
TEST_F(ProcessWaits, KeepsExactlyTheHandlesNotSignalledInTime) {
    std::vector<AutoHandle> events;
    for (int i = 0; i < 130; ++i) {
        events.emplace_back(CreateEventW(nullptr, TRUE, i != 0 && i != 100, nullptr));
    }
    const HANDLE stubborn = events[0].get();
    const HANDLE late = events[100].get();
    waitForObjects(events, 20);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ((std::set<HANDLE>{events[0].get(), events[1].get()}), (std::set<HANDLE>{stubborn, late}));

    EXPECT_FALSE(waitForProcessesToExit(events, 0));
    EXPECT_EQ(events.size(), 2u);
    EXPECT_EQ(mLogger->linesContaining("2 processes failed to exit").size(), 1u);

    SetEvent(stubborn);
    SetEvent(late);
    waitForObjects(events, kWaitForever);
    EXPECT_TRUE(events.empty());
}

TEST_F(ProcessWaits, NamesOfProcessesStillRunningAreKept) {
    static std::atomic<int> counter{0};
    const std::wstring name =
        L"kvxwait-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L".exe";
    test::copySimProgram(mFolder.path().std() / name);
    test::Child child = test::startChild(mFolder.path().std() / name);

    const std::string utf8 = foundation::narrow(name, KVX_SOURCE_LOCATION);
    std::unordered_set<std::string> names{utf8, "kvx-nothing-runs-with-this-name.exe"};
    EXPECT_FALSE(waitForProcessesToExit(names, 10));
    EXPECT_EQ(names, std::unordered_set<std::string>{utf8});
    EXPECT_EQ(mLogger->linesContaining("1 executables failed to exit:  " + utf8).size(), 1u);

    child.kill();
    EXPECT_TRUE(waitForProcessesToExit(names, 10));
    EXPECT_TRUE(names.empty());
}

TEST_F(ProcessWaits, AProcessThatAlreadyExitedCountsAsStopped) {
    test::Child child = test::startChild(test::simPath(L"KorvUpdater.exe"));
    HANDLE raw = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), child.process.get(), GetCurrentProcess(), &raw, SYNCHRONIZE, FALSE, 0));
    child.kill();
    // The handle cannot terminate, but the process is gone: nothing is left over.
    std::vector<AutoHandle> handles;
    handles.emplace_back(raw);
    EXPECT_TRUE(tryStopProcesses(handles, 1000, 5));
    EXPECT_TRUE(handles.empty());
    EXPECT_TRUE(mClock->sleeps().empty());
}

}  // namespace
}  // namespace kvx::apps::suite
