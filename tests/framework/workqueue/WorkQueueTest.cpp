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

TEST_F(WorkQueueSystemTest, QueuesAreNamedInOrderAndMisuseIsAFatalCheck) {
    getWorkQueueIndexByName("global-io");
    ASSERT_TRUE(initWorkQueueSystem({{"global-compute"}, {""}, {"dup"}, {"dup"}}));
    EXPECT_EQ(getWorkQueueIndexByName("q1"), 1u);
    EXPECT_EQ(getWorkQueue(WorkQueueHandle("dup"))->index(), 2u);
    EXPECT_EQ(getWorkQueueIndexByName("q0"), INVALID_WORKQUEUE_INDEX);
    EXPECT_EQ(getWorkQueue(WorkQueueHandle()), nullptr);
    EXPECT_EQ(getWorkQueue(WorkQueueIndex{5}), nullptr);
    EXPECT_EQ(WorkQueueHandle("nope").index(), INVALID_WORKQUEUE_INDEX);
    EXPECT_FALSE(initWorkQueueSystem({{"other"}}));
    EXPECT_EQ(mAsserts.conditionsAndMessages(),
              (Reports{{"isWorkQueueSystemInitialized()", "not initialized"},
                       {"sWorkQueueIdByName.find(name) == sWorkQueueIdByName.end()",
                        "queue names must be unique (dup)"},
                       {"index != INVALID_WORKQUEUE_INDEX", "use of uninitialized WorkQueueHandle handle"},
                       {"isValidWorkQueueIndex(index)", "illegal work queue handle (5)"},
                       {"isValidWorkQueueIndex(mIndex)", "unable to locate queue with matching name (nope)"},
                       {"isWorkQueueSystemInitialized() == false", "already initialized"}}));
    for (const auto& report : mAsserts.asserts()) {
        EXPECT_EQ(report.level, AssertLevel::Fatal);
    }
}

TEST_F(WorkQueueSystemTest, FirstInFirstOutAndABackupWarnedEachTimeTwentyIsReached) {
    ASSERT_TRUE(initWorkQueueSystem({{"a"}, {"global-io"}}));
    auto queue = getWorkQueue(WorkQueueIndex{1});
    for (int i = 0; i < 21; ++i) {
        queue->push(recording(i));
    }
    WorkItem item;
    for (uint32_t expected = 0; queue->pendingCount() > 0; ++expected) {
        ASSERT_TRUE(queue->pop(item));
        EXPECT_EQ(item.sequence(), expected);
        EXPECT_EQ(item.queueIndex(), 1u);
    }
    queue->stop();
    EXPECT_FALSE(queue->pop(item));  // stopped and empty: no wait
    for (int i = 0; i < 20; ++i) {
        queue->push(recording(i));
    }
    EXPECT_EQ(mAsserts.conditionsAndMessages(),
              Reports(2, {kUnconditionalAssert, "WorkQueue backup detected in [global-io]"}));
    EXPECT_EQ(mAsserts.asserts()[0].level, AssertLevel::Warning);
}

// What escapes a work item, and a nested execution, is reported and goes no further.
TEST_F(WorkQueueSystemTest, EscapingExceptionsAndNestedExecutionAreReported) {
    WorkItem inner = KVX_WORK_ITEM([this] { mRan.push_back(1); });
    std::tuple<WorkItem, AssertLevel, const char*> rows[] = {
        {KVX_WORK_ITEM([] { throw std::runtime_error("boom"); }), AssertLevel::Fatal,
         "UncaughtException boom: in WorkQueueTest.cpp:TestBody:"},
        {KVX_WORK_ITEM(
             [] { throw std::system_error(std::make_error_code(std::errc::permission_denied), "open"); }),
         AssertLevel::Fatal, "UncaughtSystemError [generic:13]:open: "},
        {KVX_WORK_ITEM([] { throw std::bad_alloc(); }), AssertLevel::Warning,
         "Bad Alloc in [WorkQueueTest.cpp:TestBody:"},
        {KVX_WORK_ITEM([&inner] { inner.execute(); }), AssertLevel::Fatal,
         "work item execution may not be nested WorkQueueTest.cpp:TestBody:"}};
    for (auto& [item, level, message] : rows) {
        item.execute();
        ASSERT_FALSE(mAsserts.asserts().empty());
        EXPECT_EQ(mAsserts.asserts().back().level, level);
        EXPECT_TRUE(mAsserts.messages().back().starts_with(message)) << mAsserts.messages().back();
    }
    const auto asserts = mAsserts.asserts();
    EXPECT_EQ(asserts.size(), 4u);
    EXPECT_NE(asserts[1].message.find(" in WorkQueueTest.cpp:TestBody:"), std::string::npos);
    EXPECT_EQ(asserts[3].condition, "! tls_working");
    EXPECT_TRUE(mRan.empty());
    inner.execute();  // the flag is cleared once the outer item is done
    EXPECT_EQ(mRan, std::vector<int>{1});
    EXPECT_EQ(formatSourceLocation({"C:\\src\\framework\\Thing.cpp", "run", 12}), "Thing.cpp:run:12");
}

}  // namespace
}  // namespace kvx::foundation
