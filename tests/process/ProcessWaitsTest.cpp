#include <gtest/gtest.h>

#include <atomic>

#include "foundation/TextConversion.h"
#include "process/ProcessTestSupport.h"
#include "process/SuiteProcesses.h"
#include "support/Capture.h"
#include "support/TestClock.h"

namespace kvx::apps::suite {
namespace {

using WinUtils::AutoHandle;

std::vector<AutoHandle> makeEvents(size_t count, bool signalled) {
    std::vector<AutoHandle> events;
    for (size_t i = 0; i < count; ++i) {
        events.emplace_back(CreateEventW(nullptr, TRUE, signalled ? TRUE : FALSE, nullptr));
    }
    return events;
}

TEST(ProcessWaits, WaitsForMoreThanSixtyFourHandlesInGroups) {
    test::ScopedTestClock clock;
    auto events = makeEvents(150, true);
    waitForObjects(events, kWaitForever);
    EXPECT_TRUE(events.empty());
}

TEST(ProcessWaits, KeepsExactlyTheHandlesNotSignalledInTime) {
    test::ScopedTestClock clock;
    auto events = makeEvents(130, true);
    HANDLE stubborn = events[0].get();
    ResetEvent(stubborn);
    HANDLE late = events[100].get();
    ResetEvent(late);
    waitForObjects(events, 20);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE((events[0].get() == stubborn && events[1].get() == late) ||
                (events[0].get() == late && events[1].get() == stubborn));

    test::ScopedCapturingLogger logger;
    EXPECT_FALSE(waitForProcessesToExit(events, 0));
    EXPECT_EQ(events.size(), 2u);
    EXPECT_EQ(logger->linesContaining("2 processes failed to exit").size(), 1u);
}

TEST(ProcessWaits, NamesOfProcessesStillRunningAreKept) {
    test::ScopedTestClock clock;
    test::ScopedCapturingLogger logger;
    test::TempFolder folder;
    static std::atomic<int> counter{0};
    const std::wstring name = L"kvxwait-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) +
                              L".exe";
    test::copyIdleProgram(folder.path().std() / name);
    test::Child child = test::startChild(folder.path().std() / name);

    const std::string utf8 = foundation::narrow(name, KVX_SOURCE_LOCATION);
    std::unordered_set<std::string> names{utf8, "kvx-nothing-runs-with-this-name.exe"};
    EXPECT_FALSE(waitForProcessesToExit(names, 10));
    EXPECT_EQ(names, std::unordered_set<std::string>{utf8});
    EXPECT_EQ(logger->linesContaining("1 executables failed to exit:  " + utf8).size(), 1u);

    test::killChild(child);
    EXPECT_TRUE(waitForProcessesToExit(names, 10));
    EXPECT_TRUE(names.empty());
}

TEST(ProcessWaits, AProcessThatAlreadyExitedCountsAsStopped) {
    test::ScopedTestClock clock;
    test::TempFolder folder;
    test::copyIdleProgram(folder.path().std() / L"idle.exe");
    test::Child child = test::startChild(folder.path().std() / L"idle.exe");
    HANDLE raw = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), child.process.get(), GetCurrentProcess(), &raw, SYNCHRONIZE, FALSE, 0));
    test::killChild(child);
    // The handle cannot terminate, but the process is gone: nothing is left over.
    std::vector<AutoHandle> handles;
    handles.emplace_back(raw);
    EXPECT_TRUE(tryStopProcesses(handles, 1000, 5));
    EXPECT_TRUE(handles.empty());
    std::vector<AutoHandle> none;
    EXPECT_TRUE(tryStopProcesses(none, 1000, 5));
    EXPECT_TRUE(clock->sleeps().empty());
}

}  // namespace
}  // namespace kvx::apps::suite
