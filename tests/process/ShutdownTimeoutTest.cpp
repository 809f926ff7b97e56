// The guard runs on a test clock; the case that ends a process runs it in proc_stalled_teardown.
#include "process/ShutdownTimeout.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/registry/RegistryKey.h"
#include "framework/errors/RecordingSink.h"
#include "integration/AppKey.h"
#include "kvx/BuildVersion.h"
#include "process/ProcessTestSupport.h"
#include "support/Capture.h"
#include "support/TestClock.h"

namespace kvx::apps {
namespace {

using namespace std::chrono_literals;

const std::string kThisProgram = "proc_windows_tests";
const std::string kHelperProgram = "proc_stalled_teardown";

std::string recordedTimeout(const std::string& program) {
    return openAppKey(false, true).openSubKey(kShutdownErrorsSubKey, true, false).get<std::string>(program);
}

void removeRecord(const std::string& program) {
    openAppKey(true, true).openSubKey(kShutdownErrorsSubKey, true, true).deleteValue(program);
}

class ShutdownTimeoutTest : public ::testing::Test {
protected:
    void SetUp() override { removeRecord(kThisProgram); }
    void TearDown() override { removeRecord(kThisProgram); }

    test::ScopedConfig mConfig;
    test::ScopedCapturingLogger mLogger;
    std::shared_ptr<test::TestClock> mClock = std::make_shared<test::TestClock>();
};

// A teardown in time records nothing; the mode and the start line follow the configuration.
TEST_F(ShutdownTimeoutTest, QuickTeardownJoinsInEveryModeWithoutARecord) {
    const struct {
        const char* forceCrash;
        bool terminateByDefault;
        const char* duration;
        const char* mode;
        const char* startLine;  // null: the guard is disabled
    } rows[] = {
        {"", true, "", "Shutdown guard running, mode[Quit]", "Starting shutdown timeout, duration[300s]"},
        {"true", false, "20", "Shutdown guard running, mode[Crash]",
         "Starting shutdown timeout, duration[20s]"},
        {"", false, "0", "Shutdown guard running, mode[Log]", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.mode);
        mLogger->clear();
        mConfig.set("app.serviceStopTimeoutForceCrash", row.forceCrash);
        mConfig.set("app.serviceStopTimeoutInSeconds", row.duration);
        {
            ShutdownTimeout guard(kAppKeyPath, mClock);
            guard.init(row.terminateByDefault);
            guard.stopSignalReceived();
            guard.stopSignalReceived();
        }
        EXPECT_EQ(mLogger->count(row.mode), 1u);
        EXPECT_EQ(mLogger->count(row.startLine ? row.startLine : "Starting shutdown timeout"),
                  row.startLine ? 1u : 0u);
        EXPECT_EQ(recordedTimeout(kThisProgram), "");
    }
}

// In "Log" mode an expired guard only records; the program's next start reports and deletes it.
TEST_F(ShutdownTimeoutTest, ExpiryIsRecordedAndReportedByTheNextStart) {
    mConfig.set("app.serviceStopTimeoutInSeconds", "5");
    {
        ShutdownTimeout guard(kAppKeyPath, mClock);
        guard.init(false);
        guard.stopSignalReceived();
        mClock->advance(6s);
        for (int i = 0; i < 200 && recordedTimeout(kThisProgram).empty(); ++i) {
            Sleep(10);
        }
    }
    EXPECT_EQ(recordedTimeout(kThisProgram), kBuildVersion);
    test::ScopedRecordingSink sink;
    ShutdownTimeout next(kAppKeyPath, mClock);
    next.init(false);
    EXPECT_EQ(recordedTimeout(kThisProgram), "");
    const auto events = sink->events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].taxonomy(), "erro.svc.sdto");
    EXPECT_EQ(events[0].params().value("fver", ""), kBuildVersion);
    EXPECT_EQ(events[0].params().value("exe", ""), kThisProgram);
}

TEST_F(ShutdownTimeoutTest, StalledTeardownEndsTheProcess) {
    removeRecord(kHelperProgram);
    test::Child helper = test::startChild(test::helperPath(L"proc_stalled_teardown.exe"));
    ASSERT_EQ(WaitForSingleObject(helper.process.get(), 20000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(helper.exitCode(), kShutdownTimeoutExitCode);
    EXPECT_EQ(recordedTimeout(kHelperProgram), kBuildVersion);
    removeRecord(kHelperProgram);
}

}  // namespace
}  // namespace kvx::apps
