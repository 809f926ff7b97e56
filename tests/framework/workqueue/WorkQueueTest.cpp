#include "framework/workqueue/WorkQueueSystem.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <system_error>

#include "support/Capture.h"
#include "support/TestClock.h"

namespace kvx::foundation {
namespace {

using Reports = std::vector<std::pair<std::string, std::string>>;

class WorkQueueSystemTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (isWorkQueueSystemInitialized()) {
            termWorkQueueSystem();
        }
    }

    std::vector<std::string> messages() const { return mAsserts.messages(); }

    test::ScopedTestClock mClock;
    test::ScopedAssertCapture mAsserts;
};

WorkItem recordingItem(std::vector<int>& record, int value) {
    return KVX_WORK_ITEM([&record, value] { record.push_back(value); });
}

TEST_F(WorkQueueSystemTest, QueuesAreNamedAndIndexedInOrder) {
    ASSERT_TRUE(initWorkQueueSystem({{"global-compute"}, {""}, {"global-io"}}));
    EXPECT_EQ(getWorkQueueIndexByName("global-compute"), 0u);
    EXPECT_EQ(getWorkQueueIndexByName("q1"), 1u);
    EXPECT_EQ(getWorkQueue(WorkQueueHandle("global-io"))->index(), 2u);
    EXPECT_EQ(getWorkQueueIndexByName("q0"), INVALID_WORKQUEUE_INDEX);
    EXPECT_TRUE(mAsserts.asserts().empty());

    EXPECT_FALSE(initWorkQueueSystem({{"other"}}));
    EXPECT_EQ(mAsserts.conditionsAndMessages(),
              (Reports{{"isWorkQueueSystemInitialized() == false", "already initialized"}}));
}

TEST_F(WorkQueueSystemTest, ProgrammingErrorsAreReported) {
    getWorkQueueIndexByName("global-io");
    ASSERT_TRUE(initWorkQueueSystem({{"dup"}, {"dup"}}));
    EXPECT_EQ(getWorkQueue(WorkQueueHandle()), nullptr);
    EXPECT_EQ(getWorkQueue(WorkQueueIndex{5}), nullptr);
    EXPECT_EQ(WorkQueueHandle("nope").index(), INVALID_WORKQUEUE_INDEX);

    EXPECT_EQ(
        mAsserts.conditionsAndMessages(),
        (Reports{
            {"isWorkQueueSystemInitialized()", "not initialized"},
            {"sWorkQueueIdByName.find(name) == sWorkQueueIdByName.end()", "queue names must be unique (dup)"},
            {"index != INVALID_WORKQUEUE_INDEX", "use of uninitialized WorkQueueHandle handle"},
            {"isValidWorkQueueIndex(index)", "illegal work queue handle (5)"},
            {"isValidWorkQueueIndex(mIndex)", "unable to locate queue with matching name (nope)"}}));
    for (const auto& a : mAsserts.asserts()) {
        EXPECT_EQ(a.level, AssertLevel::Fatal);
    }
}

TEST_F(WorkQueueSystemTest, PopIsFirstInFirstOutWithSequenceNumbers) {
    ASSERT_TRUE(initWorkQueueSystem({{"a"}, {"b"}}));
    auto queue = getWorkQueue(WorkQueueIndex{1});
    std::vector<int> record;
    for (int i = 0; i < 3; ++i) {
        queue->push(recordingItem(record, i));
    }
    WorkItem item;
    for (uint32_t expected = 0; expected < 3; ++expected) {
        ASSERT_TRUE(queue->pop(item));
        EXPECT_EQ(item.sequence(), expected);
        EXPECT_EQ(item.queueIndex(), 1u);
        item.execute();
    }
    EXPECT_EQ(record, (std::vector<int>{0, 1, 2}));
    queue->stop();
    EXPECT_FALSE(queue->pop(item));  // stopped and empty: no wait
}

TEST_F(WorkQueueSystemTest, BackupWarnedOnceEachTimeTwentyIsReached) {
    ASSERT_TRUE(initWorkQueueSystem({{"global-io"}}));
    auto queue = getWorkQueue(WorkQueueIndex{0});
    std::vector<int> record;
    for (int i = 0; i < 21; ++i) {
        queue->push(recordingItem(record, i));
    }
    EXPECT_EQ(messages(), std::vector<std::string>{"WorkQueue backup detected in [global-io]"});
    EXPECT_EQ(mAsserts.asserts()[0].level, AssertLevel::Warning);
    EXPECT_EQ(mAsserts.asserts()[0].condition, kUnconditionalAssert);
    WorkItem item;
    queue->pop(item);
    queue->pop(item);
    queue->push(recordingItem(record, 21));
    EXPECT_EQ(messages().size(), 2u);
}

TEST_F(WorkQueueSystemTest, SubmissionDisabledOrReplacedSkipsTheQueue) {
    std::vector<uint32_t> replaced;
    WorkQueueDescription redirected{"redirected", [&replaced](WorkItem item) { replaced.push_back(item.sequence()); }};
    ASSERT_TRUE(initWorkQueueSystem({{"plain"}, redirected}));
    std::vector<int> record;
    getWorkQueue(WorkQueueIndex{1})->push(recordingItem(record, 1));
    EXPECT_EQ(replaced.size(), 1u);
    EXPECT_EQ(getWorkQueue(WorkQueueIndex{1})->pendingCount(), 0u);

    disableWorkSubmission();
    getWorkQueue(WorkQueueIndex{0})->push(recordingItem(record, 2));
    getWorkQueue(WorkQueueIndex{1})->push(recordingItem(record, 3));
    EXPECT_EQ(getWorkQueue(WorkQueueIndex{0})->pendingCount(), 0u);
    EXPECT_EQ(replaced.size(), 1u);
    EXPECT_TRUE(mAsserts.asserts().empty());
}

TEST_F(WorkQueueSystemTest, NestedExecutionIsRefused) {
    bool innerRan = false;
    WorkItem inner = KVX_WORK_ITEM([&innerRan] { innerRan = true; });
    WorkItem outer = KVX_WORK_ITEM([&inner] { inner.execute(); });
    outer.execute();
    EXPECT_FALSE(innerRan);
    ASSERT_EQ(mAsserts.asserts().size(), 1u);
    EXPECT_EQ(mAsserts.asserts()[0].condition, "! tls_working");
    EXPECT_EQ(mAsserts.asserts()[0].message.rfind("work item execution may not be nested WorkQueueTest.cpp:TestBody:", 0), 0u)
        << mAsserts.asserts()[0].message;
    inner.execute();  // the flag is cleared once the outer item is done
    EXPECT_TRUE(innerRan);
}

TEST_F(WorkQueueSystemTest, EscapingExceptionsAreReportedAndConsumed) {
    KVX_WORK_ITEM([] { throw std::runtime_error("boom"); }).execute();
    KVX_WORK_ITEM([] { throw std::system_error(std::make_error_code(std::errc::permission_denied), "open"); }).execute();
    KVX_WORK_ITEM([] { throw std::bad_alloc(); }).execute();
    bool ran = false;
    KVX_WORK_ITEM([&ran] { ran = true; }).execute();
    EXPECT_TRUE(ran);

    const auto asserts = mAsserts.asserts();
    ASSERT_EQ(asserts.size(), 3u);
    EXPECT_EQ(asserts[0].level, AssertLevel::Fatal);
    EXPECT_EQ(asserts[0].message.rfind("UncaughtException boom: in WorkQueueTest.cpp:TestBody:", 0), 0u)
        << asserts[0].message;
    EXPECT_EQ(asserts[1].level, AssertLevel::Fatal);
    EXPECT_EQ(asserts[1].message.rfind("UncaughtSystemError [generic:13]:open: ", 0), 0u) << asserts[1].message;
    EXPECT_NE(asserts[1].message.find(" in WorkQueueTest.cpp:TestBody:"), std::string::npos);
    EXPECT_EQ(asserts[2].level, AssertLevel::Warning);
    EXPECT_EQ(asserts[2].message.rfind("Bad Alloc in [WorkQueueTest.cpp:TestBody:", 0), 0u) << asserts[2].message;
}

TEST(WorkItemSource, PrintsFileWithoutFolders) {
    EXPECT_EQ(formatSourceLocation({"C:\\src\\framework\\Thing.cpp", "run", 12}), "Thing.cpp:run:12");
    EXPECT_EQ(formatSourceLocation({"/src/a/b.cpp", "f", 3}), "b.cpp:f:3");
}

}  // namespace
}  // namespace kvx::foundation
