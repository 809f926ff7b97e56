#include "framework/workqueue/WorkQueueTimerDispatcher.h"

#include <gtest/gtest.h>

#include "WorkQueueTestSupport.h"
#include "framework/workqueue/WorkQueueSystem.h"
#include "framework/workqueue/WorkerThreadManager.h"
#include "support/TestClock.h"

namespace kvx::foundation {
namespace {

using namespace std::chrono_literals;

// Timers fire on the clock singleton's monotonic time, driven here by the test clock. The
// dispatcher under test is not started, so each dispatch happens exactly when the test asks.
class TimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(initWorkQueueSystem({{"timers"}}));
        mQueue = getWorkQueue(WorkQueueIndex{0});
    }
    void TearDown() override { termWorkQueueSystem(); }

    WorkItem named(std::string name) {
        return KVX_WORK_ITEM([this, name] { mFired.push_back(name); });
    }
    // Runs what the timers pushed, in queue order.
    std::vector<std::string> runQueue() {
        mFired.clear();
        WorkItem item;
        while (mQueue->pendingCount() > 0 && mQueue->pop(item)) {
            item.execute();
        }
        return mFired;
    }

    test::ScopedTestClock mClock;
    std::shared_ptr<WorkQueue> mQueue;
    WorkQueueTimerDispatcher mDispatcher;
    std::vector<std::string> mFired;
};

TEST_F(TimerTest, FireInDueOrderThenArmingOrder) {
    auto c = mDispatcher.addTimer(mQueue, named("c"), 30ms);
    auto a = mDispatcher.addTimer(mQueue, named("a"), 10ms);
    auto b = mDispatcher.addTimer(mQueue, named("b"), 20ms);
    auto b2 = mDispatcher.addTimer(mQueue, named("b2"), 20ms);
    EXPECT_EQ(mDispatcher.dispatchDue(), 0u);
    mClock->advance(15ms);
    EXPECT_EQ(mDispatcher.dispatchDue(), 1u);
    mClock->advance(10ms);
    EXPECT_EQ(mDispatcher.dispatchDue(), 2u);
    mClock->advance(1h);
    EXPECT_EQ(mDispatcher.dispatchDue(), 1u);
    EXPECT_EQ(runQueue(), (std::vector<std::string>{"a", "b", "b2", "c"}));
    EXPECT_EQ(mDispatcher.armedCount(), 0u);
}

TEST_F(TimerTest, PeriodicTimerAdvancesByItsPeriod) {
    auto timer = mDispatcher.addTimer(mQueue, named("tick"), 50ms, 100);
    mClock->advance(50ms);
    EXPECT_EQ(mDispatcher.dispatchDue(), 1u);
    mClock->advance(99ms);
    EXPECT_EQ(mDispatcher.dispatchDue(), 0u);
    mClock->advance(1ms);
    EXPECT_EQ(mDispatcher.dispatchDue(), 1u);
    // Late by 150 ms: the missed period fires too, the schedule keeps its phase.
    mClock->advance(250ms);
    EXPECT_EQ(mDispatcher.dispatchDue(), 2u);
    EXPECT_EQ(mDispatcher.armedCount(), 1u);
    EXPECT_EQ(runQueue().size(), 4u);
}

TEST_F(TimerTest, TimerWhoseHandleOrQueueIsGoneNoLongerFires) {
    auto kept = mDispatcher.addTimer(mQueue, named("kept"), 10ms, 10);
    auto released = mDispatcher.addTimer(mQueue, named("released"), 10ms, 10);
    auto orphan = std::make_shared<WorkQueue>(7, "gone", nullptr, nullptr, nullptr);
    auto orphaned = mDispatcher.addTimer(orphan, named("orphaned"), 10ms);
    released.reset();
    orphan.reset();
    mClock->advance(10ms);
    EXPECT_EQ(mDispatcher.dispatchDue(), 1u);
    EXPECT_EQ(mDispatcher.armedCount(), 1u);
    kept.reset();
    mClock->advance(10ms);
    EXPECT_EQ(mDispatcher.dispatchDue(), 0u);
    EXPECT_EQ(mDispatcher.armedCount(), 0u);
    EXPECT_EQ(runQueue(), std::vector<std::string>{"kept"});
}

TEST_F(TimerTest, DispatcherThreadPushesToAWorker) {
    test::EventCounter fired;
    apps::WorkerThreadManager manager;
    manager.init(1);
    manager.startWorkers(mQueue, 1);
    auto timer = getWorkQueueTimerDispatcher()->addTimer(mQueue, KVX_WORK_ITEM([&fired] { fired.add(); }), 1000ms);
    mClock->advance(1000ms);
    getWorkQueueTimerDispatcher()->wake();  // virtual time moved without the thread noticing
    EXPECT_TRUE(fired.waitFor(1));
    apps::shutdownWorkQueues(manager);
    EXPECT_FALSE(isWorkQueueSystemInitialized());
    ASSERT_TRUE(initWorkQueueSystem({{"timers"}}));  // for TearDown
}

}  // namespace
}  // namespace kvx::foundation
