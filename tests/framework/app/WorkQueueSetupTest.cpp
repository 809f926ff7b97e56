#include "framework/app/WorkQueueSetup.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/Capture.h"
#include "support/TestClock.h"

namespace kvx::apps {
namespace {

class PrepareWorkQueuesTest : public ::testing::Test {
protected:
    ~PrepareWorkQueuesTest() override {
        if (foundation::isWorkQueueSystemInitialized()) {
            shutdownWorkQueues(mManager);
        }
    }
    void setCount(const char* queue, const char* count) {
        mConfig.set(config::Store::Ordinary, fmt::format("app.workQueue.{}.threadCount", queue), count,
                    config::kScopeStatic);
    }

    test::ScopedTestClock mClock;
    test::ScopedAssertCapture mAsserts;
    config::ConfigSystem mConfig;
    WorkerThreadManager mManager;
};

// Only the built-in names, compared exactly, have a default count; any other is reported (when counted
// and when started) and gets workers only when configured. A second set-up is reported and goes on.
TEST_F(PrepareWorkQueuesTest, AnUnknownQueueGetsWorkersOnlyWhenConfiguredAndASecondSetUpGoesOn) {
    EXPECT_EQ(getDefaultWorkQueueThreadCount("Global-IO"), 0u);
    setCount("global-compute", "0");
    setCount("global-io", "0");
    prepareWorkQueues(mConfig, {{"global-compute"}, {"global-io"}, {"custom"}}, mManager);
    EXPECT_EQ(mManager.workersCreated(), 0u);
    EXPECT_TRUE(foundation::isValidWorkQueueIndex(foundation::getWorkQueueIndexByName("custom")));
    EXPECT_EQ(mAsserts.messages(),
              (std::vector<std::string>{"Unknown queue name Global-IO", "Unknown queue name custom",
                                        "Unknown queue name custom"}));
    EXPECT_EQ(mAsserts.asserts().at(0).level, foundation::AssertLevel::Warning);

    setCount("custom", "1");
    prepareWorkQueues(mConfig, {{"custom"}}, mManager);
    EXPECT_EQ(mManager.workersCreated(), 1u);
    const auto reports = mAsserts.asserts();
    const auto failed =
        std::ranges::find(reports, "initWorkQueueSystem(wqParams)", &test::CapturedAssert::condition);
    ASSERT_NE(failed, reports.end());
    EXPECT_EQ(failed->level, foundation::AssertLevel::Error);
    EXPECT_EQ(failed->message, "could not initialize the work queue system");
}

}  // namespace
}  // namespace kvx::apps
