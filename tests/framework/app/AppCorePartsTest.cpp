#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "framework/app/MallocAllocator.h"
#include "framework/app/StartupSettings.h"
#include "framework/app/WorkQueueSetup.h"
#include "support/Capture.h"
#include "support/TestClock.h"

namespace kvx::foundation {
namespace {

class AppCorePartsTest : public ::testing::Test {
protected:
    ~AppCorePartsTest() override {
        if (isWorkQueueSystemInitialized()) {
            apps::shutdownWorkQueues(mManager);
        }
    }
    void setCount(const char* queue, const char* count) {
        mConfig.set(config::Store::Ordinary, fmt::format("app.workQueue.{}.threadCount", queue), count,
                    config::kScopeStatic);
    }

    test::ScopedTestClock mClock;
    test::ScopedAssertCapture mAsserts;
    config::ConfigSystem mConfig;
    apps::WorkerThreadManager mManager;
    MallocAllocator mAllocator{"default"};
};

// Each misuse is a fatal check and changes nothing; a block with an overwritten sentinel is kept.
TEST_F(AppCorePartsTest, AllocatorMisuseIsAFatalCheck) {
    MallocAllocator other("other");
    const std::tuple<size_t, size_t, size_t, uint32_t> badRequests[] = {
        {0, 8, 0, kAllocTemporary},
        {16, 24, 0, kAllocTemporary},
        {10, 8, 10, kAllocPermanent},
        {10, 8, 0, 7},
        {SIZE_MAX - 4, 8, 0, kAllocTemporary}};
    for (const auto& [size, align, offset, flags] : badRequests) {
        EXPECT_EQ(mAllocator.alloc(size, align, offset, flags, "t"), nullptr) << size << " " << align;
    }
    auto* block = static_cast<uint8_t*>(mAllocator.alloc(32, 16, 0, kAllocPermanent, "t"));
    ASSERT_NE(block, nullptr);
    block[-1] ^= 0xFF;  // an underrun of the block
    mAllocator.free(block);
    block[-1] ^= 0xFF;
    mAllocator.free(block);
    SetDefaultAllocator(&mAllocator);
    SetDefaultAllocator(&other);
    EXPECT_EQ(GetDefaultAllocator(), &mAllocator);
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
TEST_F(AppCorePartsTest, AnUnknownQueueGetsWorkersOnlyWhenConfiguredAndASecondSetUpGoesOn) {
    EXPECT_EQ(apps::getDefaultWorkQueueThreadCount("Global-IO"), 0u);
    setCount("global-compute", "0");
    setCount("global-io", "0");
    apps::prepareWorkQueues(mConfig, {{"global-compute"}, {"global-io"}, {"custom"}}, mManager);
    EXPECT_EQ(mManager.workersCreated(), 0u);
    EXPECT_EQ(mAsserts.messages(),
              (std::vector<std::string>{"Unknown queue name Global-IO", "Unknown queue name custom",
                                        "Unknown queue name custom"}));
    EXPECT_EQ(mAsserts.asserts().at(0).level, AssertLevel::Warning);

    setCount("custom", "1");
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
TEST_F(AppCorePartsTest, StartupSwitchesKeepTheirNames) {
    services::platform::Profiler profiler;
    const auto set = [&](const char* key, const char* value) {
        mConfig.set(config::Store::Ordinary, key, value, config::kScopeStatic);
    };
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
