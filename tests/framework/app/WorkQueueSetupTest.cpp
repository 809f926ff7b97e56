#include "framework/app/WorkQueueSetup.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "framework/workqueue/WorkQueueTestSupport.h"
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
    test::FakeThreadPlatform mPlatform;
    config::ConfigSystem mConfig;
    WorkerThreadManager mManager;
};

// Only the built-in names, compared exactly, have a default count; any other is reported (when counted
// and when started) and gets workers only when configured.
TEST_F(PrepareWorkQueuesTest, AnUnknownQueueIsReportedAndGetsNoWorkersUnlessConfigured) {
    test::ScopedAssertCapture asserts;
    EXPECT_EQ(getDefaultWorkQueueThreadCount("Global-IO"), 0u);
    setCount("global-compute", "0");
    setCount("global-io", "0");
    prepareWorkQueues(mConfig, {{"global-compute"}, {"global-io"}, {"custom"}}, mManager);
    EXPECT_EQ(mManager.workersCreated(), 0u);
    EXPECT_TRUE(foundation::isValidWorkQueueIndex(foundation::getWorkQueueIndexByName("custom")));
    EXPECT_EQ(asserts.messages(),
              (std::vector<std::string>{"Unknown queue name Global-IO", "Unknown queue name custom",
                                        "Unknown queue name custom"}));
    EXPECT_EQ(asserts.asserts().at(0).level, foundation::AssertLevel::Warning);

    shutdownWorkQueues(mManager);
    setCount("custom", "1");
    prepareWorkQueues(mConfig, {{"custom"}}, mManager);
    EXPECT_EQ(mManager.workersCreated(), 1u);
    shutdownWorkQueues(mManager);
    EXPECT_EQ(std::ranges::count(mPlatform.names(), "custom-0"), 1);
}

TEST_F(PrepareWorkQueuesTest, ASecondInitialisationIsReportedAndTheStartGoesOn) {
    setCount("global-io", "1");
    ASSERT_TRUE(foundation::initWorkQueueSystem({{"global-io"}}));
    test::ScopedAssertCapture asserts;
    prepareWorkQueues(mConfig, {{"global-io"}}, mManager);
    const auto reports = asserts.asserts();
    EXPECT_TRUE(std::ranges::any_of(reports, [](const test::CapturedAssert& report) {
        return report.condition == "initWorkQueueSystem(wqParams)" &&
               report.level == foundation::AssertLevel::Error;
    }));
    EXPECT_EQ(mManager.workersCreated(), 1u);
}

}  // namespace
}  // namespace kvx::apps
