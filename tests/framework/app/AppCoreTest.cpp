#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>

#include "foundation/TextConversion.h"
#include "framework/app/AppCore.h"
#include "framework/app/DomainModelRoot.h"
#include "framework/app/PlatformLibraries.h"
#include "framework/errors/ErrorAccumulator.h"
#include "framework/workqueue/WorkQueueSystem.h"
#include "framework/workqueue/WorkerThreadManager.h"
#include "integration/AppCoreHooks.h"
#include "integration/AppCoreTestSupport.h"
#include "support/Capture.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::apps {
namespace {

using foundation::AssertLevel;
using foundation::utils::Singleton;
using test::Reports;

const char* const kArgv[] = {"AppCoreTest.exe", "-noclient"};

class AppCoreTest : public ::testing::Test {
protected:
    // Logs go to a temporary folder, the compute queue gets one worker; `configure` adds to that.
    AppCoreParams params(std::function<void(config::ConfigSystem&)> configure = {}) {
        AppCoreParams params;
        params.argc = 2;
        params.argv = kArgv;
        params.workQueues = {{"global-compute"}, {"global-io"}};
        params.appName = "AppCoreTest";
        // The program's duties but the directory table, which reads the prefix's shared application key.
        params.hooks = utils::suiteAppCoreHooks();
        params.hooks.resolveAppDirectories = nullptr;
        params.clock = mClock;
        params.assertHandler = mCaptureHandler;
        params.defaultConfigHook = [this, configure](config::ConfigSystem& config) {
            set(config, "logging.directoryOverride", mLogs.path().utf8().c_str());
            set(config, "app.workQueue.global-compute.threadCount", "1");
            if (configure) {
                configure(config);
            }
        };
        return params;
    }
    static void set(config::ConfigSystem& config, const char* key, const char* value) {
        config.set(config::Store::Ordinary, key, value, config::kScopeStatic);
    }
    static void expectReleased() {
        EXPECT_EQ(foundation::GetDefaultAllocator(), nullptr);
        EXPECT_FALSE(Singleton<config::ConfigSystem>::exists());
        EXPECT_FALSE(Singleton<IErrorAccumulator>::exists());
        EXPECT_FALSE(Singleton<services::logging::ILogger>::exists());
        EXPECT_FALSE(Singleton<foundation::IClock>::exists());
        EXPECT_FALSE(foundation::isWorkQueueSystemInitialized());
        EXPECT_FALSE(services::platform::networkLibrary().isStarted());
    }

    std::shared_ptr<test::TestClock> mClock = std::make_shared<test::TestClock>();
    test::TempFolder mLogs;
    test::ScopedCurrentFolder mCurrentFolder;
    test::ScopedAssertCapture mAsserts;
    // The core installs the handler it is given: the capture's, taken back out.
    foundation::AssertHandler mCaptureHandler = [] {
        auto handler = foundation::setAssertHandler({});
        foundation::setAssertHandler(handler);
        return handler;
    }();
};

// Each step runs once and in order; neither a log that cannot open nor a missing compute queue stops init.
TEST_F(AppCoreTest, EachStepOnceAndInOrderAndALogThatCannotOpenLeavesAnEarlyEvent) {
    {
        auto withoutLog =
            params([](config::ConfigSystem& config) { set(config, "logging.directoryOverride", ""); });
        withoutLog.workQueues = {{"global-io"}};
        AppCore core(std::move(withoutLog));
        for (auto step : {&AppCore::init, &AppCore::term, &AppCore::preInit, &AppCore::preInit,
                          &AppCore::init, &AppCore::init}) {
            (core.*step)();
        }
        EXPECT_FALSE(Singleton<IErrorAccumulator>::exists());
        EXPECT_FALSE(Singleton<services::logging::ILogger>::getMutable().isEnabled());
        ASSERT_EQ(core.earlyTelemetryEvents().size(), 1u);
        EXPECT_EQ(core.earlyTelemetryEvents()[0].taxonomy(), "diags.logs.erro");
        EXPECT_EQ(core.earlyTelemetryEvents()[0].params(),
                  (nlohmann::json{{"emsg", "Invalid log paths dir=[] filename=[AppCoreTest]"}}));
        core.term();
        core.term();
    }
    EXPECT_EQ(mAsserts.conditionsAndMessages(),
              (Reports{{"mPreInitialized", "AppCore not pre-initialized"},
                       {"mInitialized", "AppCore never initialized or already terminated"},
                       {"!mPreInitialized", "AppCore already pre-initialized"},
                       {"!mInitialized", "AppCore already initialized"},
                       {"mInitialized", "AppCore never initialized or already terminated"}}));
    for (const auto& report : mAsserts.asserts()) {
        EXPECT_EQ(report.level, AssertLevel::Fatal);
    }
}

// A task still running when term begins keeps its error accumulator, logger and clock until its
// worker has stopped: it waits for term to reach either the workers or the accumulator.
TEST_F(AppCoreTest, InitStartsTheConfiguredWorkersAndTermStopsThemBeforeTheServicesTheyUse) {
    std::atomic<bool> started{false};
    std::atomic<bool> servicesThere{false};
    {
        auto withCrashReports = params([](config::ConfigSystem& config) {
            set(config, "app.workQueue.global-io.threadCount", "2");
            set(config, "app.clientId", "test-client");
        });
        withCrashReports.useExceptionSystem = true;
        AppCore core(std::move(withCrashReports));
        core.preInit();
        EXPECT_EQ(services::platform::networkLibrary().parameters(), "-servicename=test-client -noupnp");
        core.init();
        EXPECT_EQ(Singleton<WorkerThreadManager>::getMutable().workersCreated(), 3u);  // 1 compute + 2 io
        core.loadResourceFile("missing.rcc.enc");
        foundation::getWorkQueue(foundation::WorkQueueHandle("global-compute"))->push(KVX_WORK_ITEM([&] {
            started = true;
            while (foundation::isWorkSubmissionEnabled() && Singleton<IErrorAccumulator>::exists()) {
                std::this_thread::yield();
            }
            servicesThere = Singleton<IErrorAccumulator>::exists() &&
                            Singleton<services::logging::ILogger>::exists() &&
                            Singleton<foundation::IClock>::exists();
            if (servicesThere) {
                KVX_LOG_ERROR("still running at [{}]", foundation::clock().nowSecondsSinceEpoch());
            }
        }));
        while (!started) {
            std::this_thread::yield();
        }
        core.term();
    }
    expectReleased();
    EXPECT_TRUE(servicesThere);
    EXPECT_THAT(mAsserts.messages(), ::testing::IsEmpty());
    // A missing resource file is reported and nothing else happens.
    std::ifstream in((mLogs / L"AppCoreTest.log").std(), std::ios::binary);
    const std::string log{std::istreambuf_iterator<char>(in), {}};
    for (const char* line :
         {"INFO    \t(kvx::apps::AppCore::loadResourceFile)\tLoading resource file: [missing.rcc.enc]",
          "ERROR   \t(kvx::apps::AppCore::loadResourceFile)\tFailed to load resource file missing.rcc.enc: "
          "Unable to open file: [missing.rcc.enc]",
          "\tstill running at ["}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
}

// A run that ends between preInit and init still releases everything the constructor started.
TEST_F(AppCoreTest, TheApplicationContainerBesideTheExecutableFeedsTheConfiguration) {
    SetCurrentDirectoryW(mLogs.path().c_str());
    int trustAsked = 0;
    {
        auto named = params();
        named.appName = "KorvDestager";
        named.loadAppResources = true;
        named.hooks.machineSettingsTrusted = [&] { return ++trustAsked < 0; };  // never trusted
        AppCore core(std::move(named));
        EXPECT_EQ(foundation::narrow(test::ScopedCurrentFolder::current(), KVX_SOURCE_LOCATION),
                  core.executableFolder());
        core.preInit();
        EXPECT_EQ(trustAsked, 1) << "asked before machine.ini is read";
        EXPECT_EQ(config::configSystem().getUInt32("app.serviceStopTimeoutInSeconds", 0), 300u);
        EXPECT_EQ(Singleton<domain::model::DomainModelRoot>::getMutable().environment().text,
                  std::optional<std::string>("production"));
    }
    expectReleased();
    EXPECT_THAT(mAsserts.messages(), ::testing::IsEmpty());
}

int gNewHandlerCalls = 0;

// A request of 1 GiB or more is reported and still attempted; a failing one asks the new-handler.
TEST(OrdinaryAllocation, LargeRequestsAreReportedAndAFailureAsksTheNewHandler) {
    test::ScopedAssertCapture asserts;
    for (size_t size : {(size_t{1} << 30) - 1, size_t{1} << 30}) {
        void* block = ::operator new(size);
        ASSERT_NE(block, nullptr);
        ::operator delete(block);
    }
    ASSERT_EQ(
        asserts.conditionsAndMessages(),
        (Reports{{"size < kNewMemoryWarningSize", "Allocating a large section of memory, 1073741824"}}));
    EXPECT_EQ(asserts.asserts()[0].level, AssertLevel::Fatal);
    std::set_new_handler([] {
        if (++gNewHandlerCalls == 3) {
            std::set_new_handler(nullptr);
        }
    });
    EXPECT_THROW((void)::operator new(SIZE_MAX / 2), std::bad_alloc);
    EXPECT_EQ(gNewHandlerCalls, 3);
}

}  // namespace
}  // namespace kvx::apps
