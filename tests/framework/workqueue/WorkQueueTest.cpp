// The work queues, the application core's set-up of them, its allocator and its start-up switches.
#include "framework/workqueue/WorkQueueSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "foundation/LockedValue.h"
#include "framework/app/MallocAllocator.h"
#include "framework/app/StartupSettings.h"
#include "framework/app/WorkQueueSetup.h"
#include "framework/workqueue/NamedThread.h"
#include "framework/workqueue/WorkerThreadManager.h"
#include "support/Capture.h"
#include "support/TestClock.h"

namespace kvx::foundation {
namespace {

using namespace std::chrono_literals;
using test::Reports;

// Installed as the thread platform while it lives; COM fails with `comError` when it is set.
class FakeThreadPlatform final : public IThreadPlatform {
public:
    FakeThreadPlatform() : previous(setThreadPlatform(this)) {}
    ~FakeThreadPlatform() override { setThreadPlatform(previous); }

    void nameCurrentThread(const std::string& name) override { names.checkedValue()->push_back(name); }
    uint32_t currentThreadId() override { return 77; }
    uint32_t currentProcessId() override { return 5; }
    Result<void, int32_t> initializeCom() override {
        ++comInits;
        return comError != 0 ? Result<void, int32_t>(Err{comError}) : Result<void, int32_t>(Ok{});
    }
    void uninitializeCom() override { ++comUninits; }

    IThreadPlatform* const previous;
    LockedValue<std::vector<std::string>> names;
    std::atomic<int> comInits{0};
    std::atomic<int> comUninits{0};
    int32_t comError = 0;  // set before any thread starts
};

class WorkQueueTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (isWorkQueueSystemInitialized()) {
            apps::shutdownWorkQueues(mManager);
        }
    }
    void set(const std::string& key, const char* value) {
        mConfig.set(config::Store::Ordinary, key, value, config::kScopeStatic);
    }

    test::ScopedTestClock mClock;
    FakeThreadPlatform mPlatform;
    test::ScopedCapturingLogger mLogger;
    test::ScopedAssertCapture mAsserts;
    config::ConfigSystem mConfig;
    apps::WorkerThreadManager mManager;
    std::vector<int> mRan;
};

// Misuse of the queue system is a fatal check; a backlog is warned each time it reaches twenty.
TEST_F(WorkQueueTest, MisuseIsAFatalCheckAndABacklogAWarning) {
    getWorkQueueIndexByName("global-io");
    ASSERT_TRUE(initWorkQueueSystem({{"global-compute"}, {""}, {"dup"}, {"dup"}}));
    EXPECT_EQ(getWorkQueueIndexByName("q1"), 1u);
    EXPECT_EQ(getWorkQueue(WorkQueueHandle()), nullptr);
    EXPECT_EQ(getWorkQueue(WorkQueueIndex{5}), nullptr);
    EXPECT_EQ(WorkQueueHandle("nope").index(), INVALID_WORKQUEUE_INDEX);
    EXPECT_FALSE(initWorkQueueSystem({{"other"}}));
    auto queue = getWorkQueue(WorkQueueIndex{0});
    for (int i = 0; i < 21; ++i) {
        queue->push(KVX_WORK_ITEM([] {}));
    }
    WorkItem item;
    ASSERT_TRUE(queue->pop(item));
    ASSERT_TRUE(queue->pop(item));
    queue->push(KVX_WORK_ITEM([] {}));
    const std::pair<std::string, std::string> backup{kUnconditionalAssert,
                                                     "WorkQueue backup detected in [global-compute]"};
    EXPECT_EQ(mAsserts.conditionsAndMessages(),
              (Reports{{"isWorkQueueSystemInitialized()", "not initialized"},
                       {"sWorkQueueIdByName.find(name) == sWorkQueueIdByName.end()",
                        "queue names must be unique (dup)"},
                       {"index != INVALID_WORKQUEUE_INDEX", "use of uninitialized WorkQueueHandle handle"},
                       {"isValidWorkQueueIndex(index)", "illegal work queue handle (5)"},
                       {"isValidWorkQueueIndex(mIndex)", "unable to locate queue with matching name (nope)"},
                       {"isWorkQueueSystemInitialized() == false", "already initialized"},
                       backup,
                       backup}));
    const auto reports = mAsserts.asserts();
    for (size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].level, i < 6 ? AssertLevel::Fatal : AssertLevel::Warning) << i;
    }
}

// What escapes a work item, and a nested execution, is reported and goes no further.
TEST_F(WorkQueueTest, EscapingExceptionsAndNestedExecutionAreReported) {
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
    inner.execute();  // the flag is cleared once the outer item is done
    EXPECT_EQ(mRan, std::vector<int>{1});
    EXPECT_EQ(formatSourceLocation({"C:\\src\\framework\\Thing.cpp", "run", 12}), "Thing.cpp:run:12");
}

// A throwing item does not end its worker; what is pending, or pushed during shutdown, never runs (queues
// stop after the workers were told to); a stuck worker is abandoned after twenty 100 ms waits.
TEST_F(WorkQueueTest, ShutdownRunsNothingPendingAndAbandonsAStuckWorker) {
    ASSERT_TRUE(initWorkQueueSystem({{"global-io"}}));
    auto queue = getWorkQueue(WorkQueueIndex{0});
    mManager.init(1);
    mManager.startWorkers(queue, 2);
    mManager.stopWorker(3);
    std::atomic<WorkQueueIndex> seenQueue{INVALID_WORKQUEUE_INDEX};
    std::atomic<bool> released{false};
    queue->push(KVX_WORK_ITEM([] { throw std::runtime_error("boom"); }));
    queue->push(KVX_WORK_ITEM([&] {
        seenQueue = currentWorkQueueIndex();
        while (queue->isRunning()) {
            std::this_thread::yield();
        }
        queue->push(KVX_WORK_ITEM([this] { mRan.push_back(1); }));
        while (!released) {
            std::this_thread::yield();
        }
    }));
    queue->push(KVX_WORK_ITEM([this] { mRan.push_back(2); }));
    while (seenQueue == INVALID_WORKQUEUE_INDEX) {
        std::this_thread::yield();
    }
    const auto before = mClock->monotonicNow();
    apps::shutdownWorkQueues(mManager);

    EXPECT_EQ(mClock->monotonicNow() - before, 2000ms);
    EXPECT_EQ(seenQueue, 0u);
    auto reports = mAsserts.conditionsAndMessages();
    ASSERT_EQ(reports.size(), 4u);
    reports.erase(reports.begin() + 2);  // the escaping exception's, whose text the table above checks
    EXPECT_EQ(reports,
              (Reports{{"index < mWorkerContexts.size()",
                        "Maximum number of threads reached, can't create a new worker "
                        "thread, index :1 mWorkerContexts.size: 1"},
                       {"index < mWorkersCreated",
                        "The worker thread index doesn't exists, it can't be stopped, index:3 , "
                        "mWorkersCreated:1"},
                       {kUnconditionalAssert, "Worker thread (global-io-0) did not shutdown upon request"}}));
    EXPECT_EQ(mAsserts.asserts()[3].level, AssertLevel::Warning);
    // The abandoned thread still ends its COM scope on the fake platform; let it before the fixture goes.
    released = true;
    while (mPlatform.comUninits < 1) {
        std::this_thread::yield();
    }
    EXPECT_TRUE(mRan.empty());
    // The timer thread is named as well; its place among the names depends on scheduling.
    auto names = *mPlatform.names.checkedValue();
    std::ranges::sort(names);
    EXPECT_EQ(names, (std::vector<std::string>{"WorkQueueTimerDispatch", "global-io-0"}));
}

// A Korv thread runs its body inside COM, or after reporting why it could not; a plain one does not.
TEST_F(WorkQueueTest, ThreadIsNamedLoggedAndOnlyAKorvThreadRunsInsideCom) {
    using Maker = Result<std::thread, std::string> (*)(const std::string&, std::function<void()>);
    const char* const korv = "kvx::makeNamedKorvThread::<lambda_1>::operator ()";
    // Columns: COM's answer, COM scopes open in the body, scopes closed afterwards.
    const std::tuple<Maker, const char*, const char*, uint32_t, int, int> rows[] = {
        {&makeNamedKorvThread, "global-compute-3", korv, 0, 1, 1},
        {&makeNamedThread, "logger", "kvx::makeNamedThread::<lambda_1>::operator ()", 0, 0, 0},
        {&makeNamedKorvThread, "w", korv, 0x80010106u, 1, 0}};
    for (const auto& [make, name, function, comError, open, closed] : rows) {
        SCOPED_TRACE(name);
        mLogger->clear();
        mPlatform.comError = static_cast<int32_t>(comError);
        const int before = mPlatform.comUninits;
        int openInBody = -1;
        auto thread = make(name, [&] { openInBody = mPlatform.comInits - mPlatform.comUninits; });
        ASSERT_TRUE(thread.isOk());
        thread.unwrap().join();
        EXPECT_EQ(openInBody, open);
        EXPECT_EQ(mPlatform.comUninits - before, closed);
        EXPECT_EQ(mPlatform.names.checkedValue()->back(), name);
        EXPECT_EQ(mLogger->lines(),
                  (test::LoggedLines{{services::logging::Verbose, function,
                                      fmt::format("Thread started [{}], TID:[77]", name)}}));
    }
    EXPECT_EQ(mAsserts.conditionsAndMessages(),
              (Reports{{"succeeded()", "Unable to initalize COM on this thread, result=[-2147417850]."}}));
}

// Each misuse is a fatal check and changes nothing; a block with an overwritten sentinel is kept.
TEST_F(WorkQueueTest, AllocatorMisuseIsAFatalCheck) {
    MallocAllocator allocator{"default"};
    MallocAllocator other("other");
    const std::tuple<size_t, size_t, size_t, uint32_t> badRequests[] = {
        {0, 8, 0, kAllocTemporary},
        {16, 24, 0, kAllocTemporary},
        {10, 8, 10, kAllocPermanent},
        {10, 8, 0, 7},
        {SIZE_MAX - 4, 8, 0, kAllocTemporary}};
    for (const auto& [size, align, offset, flags] : badRequests) {
        EXPECT_EQ(allocator.alloc(size, align, offset, flags, "t"), nullptr) << size << " " << align;
    }
    auto* block = static_cast<uint8_t*>(allocator.alloc(32, 16, 0, kAllocPermanent, "t"));
    ASSERT_NE(block, nullptr);
    block[-1] ^= 0xFF;  // an underrun of the block
    allocator.free(block);
    block[-1] ^= 0xFF;
    allocator.free(block);
    SetDefaultAllocator(&allocator);
    SetDefaultAllocator(&other);
    EXPECT_EQ(GetDefaultAllocator(), &allocator);
    SetDefaultAllocator(nullptr);
    EXPECT_EQ(
        mAsserts.conditionsAndMessages(),
        (test::Reports{
            {"0 < size", "size must be non-zero, size: 0"},
            {"isPowerOfTwo(align)", "requested alignment must be a power of 2, align:24"},
            {"alignOffset < size", "offset to align must be within the allocation, alignOffset: 10, size:10"},
            {"knownFlags", "invalid flags value, value:7"},
            {kUnconditionalAssert, "Allocator 'default': out of memory"},
            {"mSentinel == kAllocSentinel", "sentinel value corrupted"},
            {"gAllocator == nullptr || pAllocator == nullptr", "default allocator already set"}}));
    for (const auto& report : mAsserts.asserts()) {
        EXPECT_EQ(report.level, AssertLevel::Fatal);
    }
}

// Only built-in names (exactly) have a default count; others get workers only when configured.
TEST_F(WorkQueueTest, AnUnknownQueueGetsWorkersOnlyWhenConfiguredAndASecondSetUpGoesOn) {
    EXPECT_EQ(apps::getDefaultWorkQueueThreadCount("Global-IO"), 0u);
    set("app.workQueue.global-compute.threadCount", "0");
    set("app.workQueue.global-io.threadCount", "0");
    apps::prepareWorkQueues(mConfig, {{"global-compute"}, {"global-io"}, {"custom"}}, mManager);
    EXPECT_EQ(mManager.workersCreated(), 0u);
    EXPECT_EQ(mAsserts.messages(),
              (std::vector<std::string>{"Unknown queue name Global-IO", "Unknown queue name custom",
                                        "Unknown queue name custom"}));
    EXPECT_EQ(mAsserts.asserts().at(0).level, AssertLevel::Warning);

    set("app.workQueue.custom.threadCount", "1");
    apps::prepareWorkQueues(mConfig, {{"custom"}}, mManager);
    EXPECT_EQ(mManager.workersCreated(), 1u);
    const auto reports = mAsserts.asserts();
    const auto failed =
        std::ranges::find(reports, "initWorkQueueSystem(wqParams)", &test::CapturedAssert::condition);
    ASSERT_NE(failed, reports.end());
    EXPECT_EQ(failed->level, AssertLevel::Error);
    EXPECT_EQ(failed->message, "could not initialize the work queue system");
}

// The profiler's interval and start switches and the log location's overrides.
TEST_F(WorkQueueTest, StartupSwitchesKeepTheirNames) {
    services::platform::Profiler profiler;
    set("profiling.writeIntervalMs", "250");
    set("profiling.KorvDestager.autoStart", "true");
    apps::configureProfiler(mConfig, "KorvLauncher", profiler);
    EXPECT_EQ(profiler.writeIntervalMs(), 250u);
    EXPECT_FALSE(profiler.isRunning()) << "another program's switch";
    set("profiling.KorvDestager.autoStart", "false");
    set("profiling.autoStart", "1");
    apps::configureProfiler(mConfig, "KorvDestager", profiler);
    EXPECT_EQ(profiler.sessionName(), "KorvDestager");
    set("logging.directoryOverride", "D:\\logs");
    set("logging.fileNameOverride", "run7");
    const auto location = apps::logLocation(mConfig, "C:\\Logs", "KorvDestager");
    EXPECT_EQ(location.folder + "|" + location.fileName, "D:\\logs|run7");
}

}  // namespace
}  // namespace kvx::foundation
