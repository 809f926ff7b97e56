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
    WorkItem recording(int value) {
        return KVX_WORK_ITEM([this, value] { mRan.push_back(value); });
    }

    test::ScopedTestClock mClock;
    test::ScopedAssertCapture mAsserts;
    std::vector<int> mRan;
};

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
    for (const auto& report : mAsserts.asserts()) {
        EXPECT_EQ(report.level, AssertLevel::Fatal);
    }
}

TEST_F(WorkQueueSystemTest, PopIsFirstInFirstOutWithSequenceNumbers) {
    ASSERT_TRUE(initWorkQueueSystem({{"a"}, {"b"}}));
    auto queue = getWorkQueue(WorkQueueIndex{1});
    for (int i = 0; i < 3; ++i) {
        queue->push(recording(i));
    }
    WorkItem item;
    for (uint32_t expected = 0; expected < 3; ++expected) {
        ASSERT_TRUE(queue->pop(item));
        EXPECT_EQ(item.sequence(), expected);
        EXPECT_EQ(item.queueIndex(), 1u);
        item.execute();
    }
    EXPECT_EQ(mRan, (std::vector<int>{0, 1, 2}));
    queue->stop();
    EXPECT_FALSE(queue->pop(item));  // stopped and empty: no wait
}

TEST_F(WorkQueueSystemTest, BackupWarnedOnceEachTimeTwentyIsReached) {
    ASSERT_TRUE(initWorkQueueSystem({{"global-io"}}));
    auto queue = getWorkQueue(WorkQueueIndex{0});
    for (int i = 0; i < 21; ++i) {
        queue->push(recording(i));
    }
    EXPECT_EQ(mAsserts.conditionsAndMessages(),
              (Reports{{kUnconditionalAssert, "WorkQueue backup detected in [global-io]"}}));
    EXPECT_EQ(mAsserts.asserts()[0].level, AssertLevel::Warning);
    WorkItem item;
    queue->pop(item);
    queue->pop(item);
    queue->push(recording(21));
    EXPECT_EQ(mAsserts.messages().size(), 2u);
}

TEST_F(WorkQueueSystemTest, SubmissionDisabledOrReplacedSkipsTheQueue) {
    std::vector<uint32_t> replaced;
    WorkQueueDescription redirected{"redirected",
                                    [&replaced](WorkItem item) { replaced.push_back(item.sequence()); }};
    ASSERT_TRUE(initWorkQueueSystem({{"plain"}, redirected}));
    getWorkQueue(WorkQueueIndex{1})->push(recording(1));
    EXPECT_EQ(replaced.size(), 1u);
    EXPECT_EQ(getWorkQueue(WorkQueueIndex{1})->pendingCount(), 0u);

    disableWorkSubmission();
    getWorkQueue(WorkQueueIndex{0})->push(recording(2));
    getWorkQueue(WorkQueueIndex{1})->push(recording(3));
    EXPECT_EQ(getWorkQueue(WorkQueueIndex{0})->pendingCount(), 0u);
    EXPECT_EQ(replaced.size(), 1u);
    EXPECT_TRUE(mAsserts.asserts().empty());
}

TEST_F(WorkQueueSystemTest, NestedExecutionIsRefused) {
    WorkItem inner = KVX_WORK_ITEM([this] { mRan.push_back(1); });
    KVX_WORK_ITEM([&inner] { inner.execute(); }).execute();
    EXPECT_TRUE(mRan.empty());
    ASSERT_EQ(mAsserts.asserts().size(), 1u);
    EXPECT_EQ(mAsserts.asserts()[0].condition, "! tls_working");
    EXPECT_EQ(
        mAsserts.messages()[0].rfind("work item execution may not be nested WorkQueueTest.cpp:TestBody:", 0),
        0u)
        << mAsserts.messages()[0];
    inner.execute();  // the flag is cleared once the outer item is done
    EXPECT_EQ(mRan, std::vector<int>{1});
}

TEST_F(WorkQueueSystemTest, EscapingExceptionsAreReportedAndConsumed) {
    KVX_WORK_ITEM([] { throw std::runtime_error("boom"); }).execute();
    KVX_WORK_ITEM([] {
        throw std::system_error(std::make_error_code(std::errc::permission_denied), "open");
    }).execute();
    KVX_WORK_ITEM([] { throw std::bad_alloc(); }).execute();
    recording(1).execute();
    EXPECT_EQ(mRan, std::vector<int>{1});

    const std::pair<AssertLevel, const char*> expected[] = {
        {AssertLevel::Fatal, "UncaughtException boom: in WorkQueueTest.cpp:TestBody:"},
        {AssertLevel::Fatal, "UncaughtSystemError [generic:13]:open: "},
        {AssertLevel::Warning, "Bad Alloc in [WorkQueueTest.cpp:TestBody:"}};
    const auto asserts = mAsserts.asserts();
    ASSERT_EQ(asserts.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(asserts[i].level, expected[i].first);
        EXPECT_EQ(asserts[i].message.rfind(expected[i].second, 0), 0u) << asserts[i].message;
    }
    EXPECT_NE(asserts[1].message.find(" in WorkQueueTest.cpp:TestBody:"), std::string::npos);
}

TEST(WorkItemSource, PrintsFileWithoutFolders) {
    EXPECT_EQ(formatSourceLocation({"C:\\src\\framework\\Thing.cpp", "run", 12}), "Thing.cpp:run:12");
    EXPECT_EQ(formatSourceLocation({"/src/a/b.cpp", "f", 3}), "b.cpp:f:3");
}

}  // namespace
}  // namespace kvx::foundation
