#include "framework/workqueue/WorkerThreadManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "WorkQueueTestSupport.h"
#include "framework/workqueue/NamedThread.h"
#include "framework/workqueue/WorkQueueSystem.h"
#include "support/Capture.h"
#include "support/TestClock.h"

namespace kvx::apps {
namespace {

using foundation::getWorkQueue;
using foundation::WorkQueueIndex;

class WorkerThreadTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (foundation::isWorkQueueSystemInitialized()) {
            shutdownWorkQueues(mManager);
        }
    }

    std::vector<std::string> messages() const { return mAsserts.messages(); }

    test::ScopedTestClock mClock;
    test::FakeThreadPlatform mPlatform;
    test::ScopedThreadPlatform mInstalled{mPlatform};
    test::ScopedAssertCapture mAsserts;
    WorkerThreadManager mManager;
};

TEST_F(WorkerThreadTest, WorkersAreNamedAndSurviveThrowingTasks) {
    ASSERT_TRUE(foundation::initWorkQueueSystem({{"global-io"}}));
    auto queue = getWorkQueue(WorkQueueIndex{0});
    mManager.init(2);
    mManager.startWorkers(queue, 1);
    test::EventCounter done;
    WorkQueueIndex seenQueue = foundation::INVALID_WORKQUEUE_INDEX;
    queue->push(KVX_WORK_ITEM([] { throw std::runtime_error("boom"); }));
    queue->push(KVX_WORK_ITEM([&] {
        seenQueue = foundation::currentWorkQueueIndex();
        done.add();
    }));
    ASSERT_TRUE(done.waitFor(1));
    shutdownWorkQueues(mManager);

    EXPECT_EQ(seenQueue, 0u);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].rfind("UncaughtException boom: in WorkerThreadTest.cpp:", 0), 0u)
        << messages()[0];
    // The timer thread is named as well; its place among the names depends on scheduling.
    auto names = mPlatform.names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"WorkQueueTimerDispatch", "global-io-0"}));
    EXPECT_EQ(mPlatform.comInits(), 1);
    EXPECT_EQ(mPlatform.comUninits(), 1);
}

TEST_F(WorkerThreadTest, ShutdownStopsWorkersBeforeQueuesAndDiscardsPendingItems) {
    ASSERT_TRUE(foundation::initWorkQueueSystem({{"busy"}, {"idle"}}));
    auto busy = getWorkQueue(WorkQueueIndex{0});
    auto idle = getWorkQueue(WorkQueueIndex{1});
    mManager.init(2);
    mManager.startWorkers(busy, 1);
    mManager.startWorkers(idle, 0);  // a queue without workers keeps its items until shutdown
    test::EventCounter started;
    std::vector<std::string> ran;
    busy->push(KVX_WORK_ITEM([&] {
        started.add();
        // Queues stop only after every worker was told to stop, and submission ended before that.
        while (busy->isRunning()) {
            std::this_thread::yield();
        }
        busy->push(KVX_WORK_ITEM([&] { ran.push_back("pushed during shutdown"); }));
        ran.push_back("first");
    }));
    busy->push(KVX_WORK_ITEM([&] { ran.push_back("pending"); }));
    idle->push(KVX_WORK_ITEM([&] { ran.push_back("idle"); }));
    ASSERT_TRUE(started.waitFor(1));
    const auto before = mClock->monotonicNow();
    shutdownWorkQueues(mManager);

    EXPECT_EQ(ran, std::vector<std::string>{"first"});
    EXPECT_FALSE(foundation::isWorkQueueSystemInitialized());
    EXPECT_LT(mClock->monotonicNow() - before, std::chrono::milliseconds(2000));
    EXPECT_TRUE(mAsserts.asserts().empty()) << messages()[0];
}

TEST_F(WorkerThreadTest, StuckWorkerIsAbandonedAfterTwentyWaits) {
    ASSERT_TRUE(foundation::initWorkQueueSystem({{"busy"}}));
    auto queue = getWorkQueue(WorkQueueIndex{0});
    mManager.init(1);
    mManager.startWorkers(queue, 1);
    test::EventCounter started;
    test::EventCounter finished;
    test::EventCounter gate;
    queue->push(KVX_WORK_ITEM([&] {
        started.add();
        gate.waitFor(1);
        finished.add();
    }));
    ASSERT_TRUE(started.waitFor(1));
    const auto before = mClock->monotonicNow();
    shutdownWorkQueues(mManager);

    EXPECT_EQ(mClock->monotonicNow() - before, std::chrono::milliseconds(2000));
    EXPECT_EQ(messages(), std::vector<std::string>{"Worker thread (busy-0) did not shutdown upon request"});
    EXPECT_EQ(mAsserts.asserts()[0].level, foundation::AssertLevel::Warning);
    gate.add();
    EXPECT_TRUE(finished.waitFor(1));
    // The abandoned thread still ends its COM scope on the fake platform; let it before the fixture goes.
    while (mPlatform.comUninits() < 1) {
        std::this_thread::yield();
    }
}

TEST_F(WorkerThreadTest, SlotAndIndexErrors) {
    ASSERT_TRUE(foundation::initWorkQueueSystem({{"q"}}));
    mManager.init(1);
    mManager.startWorkers(getWorkQueue(WorkQueueIndex{0}), 2);
    mManager.stopWorker(3);
    EXPECT_EQ(mManager.workersCreated(), 1u);
    EXPECT_EQ(
        mAsserts.conditionsAndMessages(),
        (std::vector<std::pair<std::string, std::string>>{
            {"index < mWorkerContexts.size()",
             "Maximum number of threads reached, can't create a new worker "
             "thread, index :1 mWorkerContexts.size: 1"},
            {"index < mWorkersCreated",
             "The worker thread index doesn't exists, it can't be stopped, index:3 , mWorkersCreated:1"}}));
}

class NamedThreadTest : public ::testing::Test {
protected:
    test::FakeThreadPlatform mPlatform;
    test::ScopedThreadPlatform mInstalled{mPlatform};
    test::ScopedCapturingLogger mLogger;
    test::ScopedAssertCapture mAsserts;
};

// A Korv thread runs its body inside COM; a plain one does not touch it. Both are named and logged.
TEST_F(NamedThreadTest, ThreadIsNamedLoggedAndOnlyAKorvThreadRunsInsideCom) {
    using Maker = Result<std::thread, std::string> (*)(const std::string&, std::function<void()>);
    const std::tuple<Maker, const char*, const char*, int> rows[] = {
        {&makeNamedKorvThread, "global-compute-3", "kvx::makeNamedKorvThread::<lambda_1>::operator ()", 1},
        {&makeNamedThread, "logger", "kvx::makeNamedThread::<lambda_1>::operator ()", 0}};
    for (const auto& [make, name, function, com] : rows) {
        SCOPED_TRACE(name);
        mLogger->clear();
        const int before = mPlatform.comInits();
        int comInsideBody = -1;
        auto thread = make(name, [&] { comInsideBody = mPlatform.comInits() - mPlatform.comUninits(); });
        ASSERT_TRUE(thread.isOk());
        thread.unwrap().join();
        EXPECT_EQ(comInsideBody, com);
        EXPECT_EQ(mPlatform.comInits() - before, com);
        EXPECT_EQ(mPlatform.comInits(), mPlatform.comUninits());
        EXPECT_EQ(mPlatform.names().back(), name);
        EXPECT_EQ(mLogger->lines(),
                  (std::vector<test::LoggedLine>{{services::logging::Verbose, function,
                                                  fmt::format("Thread started [{}], TID:[77]", name)}}));
    }
}

TEST_F(NamedThreadTest, ComFailureIsReportedAndNotUndone) {
    mPlatform.failCom(static_cast<int32_t>(0x80010106u));
    bool ran = false;
    auto thread = makeNamedKorvThread("w", [&ran] { ran = true; });
    ASSERT_TRUE(thread.isOk());
    thread.unwrap().join();
    EXPECT_TRUE(ran);
    EXPECT_EQ(mPlatform.comUninits(), 0);
    EXPECT_EQ(mAsserts.conditionsAndMessages(),
              (std::vector<std::pair<std::string, std::string>>{
                  {"succeeded()", "Unable to initalize COM on this thread, result=[-2147417850]."}}));
}

}  // namespace
}  // namespace kvx::apps
