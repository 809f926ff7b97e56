#include <gtest/gtest.h>

#include <algorithm>

#include "framework/app/WorkQueueSetup.h"
#include "framework/workqueue/WorkQueueTestSupport.h"
#include "support/Capture.h"
#include "support/TestClock.h"

namespace kvx::apps {
namespace {

TEST(WorkQueueThreadCount, DefaultsByQueueName) {
    test::ScopedAssertCapture asserts;
    const std::pair<const char*, uint32_t> rows[] = {
        {"global-compute", 6}, {"global-io", 6},     {"kernel0", 0},  {"kernel1", 0},
        {"main", 0},           {"connectServer", 0}, {"Global-IO", 0}};
    for (const auto& [name, count] : rows) {
        EXPECT_EQ(getDefaultWorkQueueThreadCount(name), count) << name;
    }
    // Only the last, a name outside the table, is reported.
    EXPECT_EQ(asserts.messages(), std::vector<std::string>{"Unknown queue name Global-IO"});
    EXPECT_EQ(asserts.asserts().at(0).level, foundation::AssertLevel::Warning);
}

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
    // Names of the workers (the timer dispatcher's thread left out), once every thread has ended.
    std::vector<std::string> workerNamesAfterShutdown() {
        shutdownWorkQueues(mManager);
        std::vector<std::string> names;
        for (const auto& name : mPlatform.names()) {
            if (name != "WorkQueueTimerDispatch") {
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    test::ScopedTestClock mClock;
    test::FakeThreadPlatform mPlatform;
    test::ScopedThreadPlatform mScopedPlatform{mPlatform};
    config::ConfigSystem mConfig;
    WorkerThreadManager mManager;
};

TEST_F(PrepareWorkQueuesTest, ConfiguredCountsStartThatManyWorkersPerQueue) {
    test::ScopedAssertCapture asserts;
    setCount("global-compute", "1");
    setCount("global-io", "2");
    prepareWorkQueues(mConfig, {{"global-compute"}, {"global-io"}}, mManager);

    EXPECT_EQ(mManager.workersCreated(), 3u);
    EXPECT_EQ(workerNamesAfterShutdown(),
              (std::vector<std::string>{"global-compute-0", "global-io-0", "global-io-1"}));
    EXPECT_TRUE(asserts.asserts().empty());
}

TEST_F(PrepareWorkQueuesTest, AnUnknownQueueGetsNoWorkersUnlessConfigured) {
    test::ScopedAssertCapture asserts;
    setCount("global-compute", "0");
    setCount("global-io", "0");
    prepareWorkQueues(mConfig, {{"global-compute"}, {"global-io"}, {"custom"}, {"other"}}, mManager);
    EXPECT_EQ(mManager.workersCreated(), 0u);
    EXPECT_TRUE(foundation::isValidWorkQueueIndex(foundation::getWorkQueueIndexByName("custom")));
    const auto messages = asserts.messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Unknown queue name custom"),
              2);  // counted, then started

    shutdownWorkQueues(mManager);
    setCount("custom", "1");
    prepareWorkQueues(mConfig, {{"custom"}}, mManager);
    EXPECT_EQ(mManager.workersCreated(), 1u);
    EXPECT_EQ(workerNamesAfterShutdown(), (std::vector<std::string>{"custom-0"}));
}

TEST_F(PrepareWorkQueuesTest, ASecondInitialisationIsReportedAndTheStartGoesOn) {
    setCount("global-io", "1");
    ASSERT_TRUE(foundation::initWorkQueueSystem({{"global-io"}}));
    test::ScopedAssertCapture asserts;
    prepareWorkQueues(mConfig, {{"global-io"}}, mManager);
    bool reported = false;
    for (const auto& report : asserts.asserts()) {
        reported |= report.condition == "initWorkQueueSystem(wqParams)" &&
                    report.level == foundation::AssertLevel::Error;
    }
    EXPECT_TRUE(reported);
    EXPECT_EQ(mManager.workersCreated(), 1u);
}

}  // namespace
}  // namespace kvx::apps
