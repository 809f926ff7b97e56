#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "foundation/TextConversion.h"
#include "framework/app/AppCore.h"
#include "framework/app/DomainModelRoot.h"
#include "framework/app/LocalizationSystem.h"
#include "framework/app/PlatformLibraries.h"
#include "framework/config/ResourceManager.h"
#include "framework/errors/ErrorAccumulator.h"
#include "framework/errors/ExceptionSystem.h"
#include "framework/workqueue/WorkQueueSystem.h"
#include "framework/workqueue/WorkerThreadManager.h"
#include "integration/AppCoreHooks.h"
#include "integration/AppCoreTestSupport.h"
#include "integration/AppDirectories.h"
#include "support/Capture.h"
#include "support/ScopedFilesystem.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::apps {
namespace {

using foundation::AssertLevel;
using foundation::utils::Singleton;

std::wstring moduleFolder() {
    wchar_t buffer[MAX_PATH];
    std::wstring path(buffer, GetModuleFileNameW(nullptr, buffer, MAX_PATH));
    return path.substr(0, path.find_last_of(L'\\'));
}

std::string readFile(const fs::Path& path) {
    std::ifstream in(path.std(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

const char* const kArgv[] = {"AppCoreTest.exe", "-noclient"};

class AppCoreTest : public ::testing::Test {
protected:
    // Logs go to a temporary folder, queues get few workers; `configure` adds to that.
    AppCoreParams params(std::function<void(config::ConfigSystem&)> configure = {}) {
        AppCoreParams params;
        params.argc = 2;
        params.argv = kArgv;
        params.workQueues = {{"global-compute"}, {"global-io"}};
        params.appName = "AppCoreTest";
        // The program's duties, but the directory table only where a test asks for it.
        params.hooks = utils::suiteAppCoreHooks();
        params.hooks.resolveAppDirectories = nullptr;
        params.clock = mClock;
        params.assertHandler = [this](const foundation::AssertReport& report) {
            std::lock_guard lock(mMutex);
            mAsserts.push_back({report.level, std::string(report.condition), std::string(report.function),
                                std::string(report.message)});
        };
        params.defaultConfigHook = [this, configure](config::ConfigSystem& config) {
            config.set(config::Store::Ordinary, "logging.directoryOverride", mLogs.path().utf8(),
                       config::kScopeStatic);
            config.set(config::Store::Ordinary, "app.workQueue.global-compute.threadCount", "1",
                       config::kScopeStatic);
            if (configure) {
                configure(config);
            }
        };
        return params;
    }
    std::vector<test::CapturedAssert> asserts() {
        std::lock_guard lock(mMutex);
        return mAsserts;
    }
    std::vector<std::string> messages() {
        std::vector<std::string> texts;
        for (const auto& report : asserts()) {
            texts.push_back(report.message);
        }
        return texts;
    }
    static void set(config::ConfigSystem& config, const char* key, const char* value) {
        config.set(config::Store::Ordinary, key, value, config::kScopeStatic);
    }

    std::shared_ptr<test::TestClock> mClock = std::make_shared<test::TestClock>();
    test::TempFolder mLogs;
    test::ScopedCurrentFolder mCurrentFolder;
    std::mutex mMutex;
    std::vector<test::CapturedAssert> mAsserts;
};

TEST_F(AppCoreTest, EachStepOnceAndInOrder) {
    {
        AppCore core(params());
        core.init();
        core.term();
        core.preInit();
        core.preInit();
        core.init();
        core.init();
        core.term();
        core.term();
    }
    std::vector<std::pair<std::string, std::string>> reports;
    for (const auto& report : asserts()) {
        EXPECT_EQ(report.level, AssertLevel::Fatal);
        reports.emplace_back(report.condition, report.message);
    }
    EXPECT_EQ(reports, (std::vector<std::pair<std::string, std::string>>{
                           {"mPreInitialized", "AppCore not pre-initialized"},
                           {"mInitialized", "AppCore never initialized or already terminated"},
                           {"!mPreInitialized", "AppCore already pre-initialized"},
                           {"!mInitialized", "AppCore already initialized"},
                           {"mInitialized", "AppCore never initialized or already terminated"}}));
}

TEST_F(AppCoreTest, ConstructionInstallsTheServicesAndEndingBeforeInitReleasesThem) {
    SetCurrentDirectoryW(mLogs.path().c_str());
    {
        AppCore core(params());
        EXPECT_EQ(test::ScopedCurrentFolder::current(), moduleFolder());
        EXPECT_EQ(core.executableFolder(), foundation::narrow(moduleFolder(), KVX_SOURCE_LOCATION));
        EXPECT_EQ(core.executableName(), "fw_app_windows_tests.exe");
        ASSERT_NE(foundation::GetDefaultAllocator(), nullptr);
        EXPECT_EQ(foundation::GetDefaultAllocator()->name(), "default");
        EXPECT_TRUE(Singleton<config::ConfigSystem>::exists());
        EXPECT_TRUE(Singleton<resources::ResourceManager>::exists());
        EXPECT_TRUE(Singleton<domain::model::DomainModelRoot>::exists());
        ASSERT_TRUE(Singleton<services::logging::ILogger>::exists());
        EXPECT_FALSE(Singleton<services::logging::ILogger>::getMutable().isEnabled());
        mClock->setWallClock(42);
        EXPECT_EQ(foundation::clock().nowNanosecondsSinceEpoch(), 42);
        core.preInit();
    }
    EXPECT_EQ(foundation::GetDefaultAllocator(), nullptr);
    EXPECT_FALSE(Singleton<config::ConfigSystem>::exists());
    EXPECT_FALSE(Singleton<resources::ResourceManager>::exists());
    EXPECT_FALSE(Singleton<domain::model::DomainModelRoot>::exists());
    EXPECT_FALSE(Singleton<services::logging::ILogger>::exists());
    EXPECT_FALSE(Singleton<foundation::IClock>::exists());
    EXPECT_FALSE(services::platform::networkLibrary().isStarted());
    AppCore again(params());
    again.preInit();
    again.init();
    EXPECT_TRUE(asserts().empty()) << ::testing::PrintToString(messages());
}

TEST_F(AppCoreTest, InitStartsConfiguredWorkersAndTermStopsEverything) {
    {
        auto withCrashReports = params([](config::ConfigSystem& config) {
            set(config, "app.workQueue.global-io.threadCount", "2");
            set(config, "app.clientId", "test-client");
        });
        withCrashReports.useExceptionSystem = true;
        AppCore core(std::move(withCrashReports));
        ASSERT_NE(core.exceptionSystem(), nullptr);
        EXPECT_TRUE(core.exceptionSystem()->isEnabled());
        core.preInit();
        EXPECT_EQ(services::platform::networkLibrary().parameters(), "-servicename=test-client -noupnp");
        EXPECT_TRUE(services::platform::networkLibrary().isStarted());
        core.init();

        ASSERT_TRUE(Singleton<WorkerThreadManager>::exists());
        EXPECT_EQ(Singleton<WorkerThreadManager>::getMutable().workersCreated(), 3u);  // 1 compute + 2 io
        EXPECT_TRUE(Singleton<IErrorAccumulator>::exists());
        ASSERT_TRUE(Singleton<services::platform::LocalizationSystem>::exists());
        EXPECT_EQ(Singleton<services::platform::LocalizationSystem>::getMutable().locale(), "en-US");
        EXPECT_TRUE(Singleton<services::logging::ILogger>::getMutable().isEnabled());
        EXPECT_TRUE(core.earlyTelemetryEvents().empty());
        core.loadResourceFile("missing.rcc.enc");
        core.term();

        EXPECT_FALSE(foundation::isWorkQueueSystemInitialized());
        EXPECT_FALSE(Singleton<WorkerThreadManager>::exists());
        EXPECT_FALSE(Singleton<IErrorAccumulator>::exists());
        EXPECT_FALSE(Singleton<services::platform::LocalizationSystem>::exists());
        EXPECT_FALSE(Singleton<services::logging::ILogger>::exists());
        EXPECT_FALSE(Singleton<foundation::IClock>::exists());
        EXPECT_FALSE(services::platform::networkLibrary().isStarted());
    }
    EXPECT_TRUE(asserts().empty()) << ::testing::PrintToString(messages());

    const std::string log = readFile(mLogs / L"AppCoreTest.log");
    EXPECT_NE(log.find("\t(kvx::apps::utils::logAppInfo)\t[STARTUP] app[AppCoreTest], configurable[false]"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Command line: [AppCoreTest.exe -noclient]"), std::string::npos);
    // A missing resource file is reported and nothing else happens.
    EXPECT_NE(
        log.find(
            "INFO    \t(kvx::apps::AppCore::loadResourceFile)\tLoading resource file: [missing.rcc.enc]"),
        std::string::npos);
    EXPECT_NE(log.find("ERROR   \t(kvx::apps::AppCore::loadResourceFile)\tFailed to load resource file "
                       "missing.rcc.enc: Unable to open file: [missing.rcc.enc]"),
              std::string::npos)
        << log;
}

// A task still running when term begins keeps its error accumulator, logger and clock until its
// worker has stopped: it waits for term to reach either the workers or the accumulator.
TEST_F(AppCoreTest, TermStopsTheWorkersBeforeTheServicesTheyUse) {
    std::atomic<bool> started{false};
    std::atomic<bool> servicesThere{false};
    {
        AppCore core(params());
        core.preInit();
        core.init();
        foundation::getWorkQueue(foundation::WorkQueueHandle("global-compute"))->push(KVX_WORK_ITEM([&] {
            started = true;
            while (foundation::isWorkSubmissionEnabled() && Singleton<IErrorAccumulator>::exists()) {
                std::this_thread::yield();
            }
            servicesThere = Singleton<IErrorAccumulator>::exists() &&
                            Singleton<services::logging::ILogger>::exists() &&
                            Singleton<foundation::IClock>::exists();
            if (servicesThere) {
                Singleton<IErrorAccumulator>::getMutable().reportEvent(ErrorSeverity::Minor, "late report");
                KVX_LOG_ERROR("still running at [{}]", foundation::clock().nowSecondsSinceEpoch());
            }
        }));
        while (!started) {
            std::this_thread::yield();
        }
        core.term();
    }
    EXPECT_TRUE(servicesThere);
    EXPECT_NE(readFile(mLogs / L"AppCoreTest.log").find("\tstill running at ["), std::string::npos);
    EXPECT_TRUE(asserts().empty()) << ::testing::PrintToString(messages());
}

TEST_F(AppCoreTest, QueuesOutsideTheDefaultTableGetNoWorkers) {
    {
        auto withCustom = params();
        withCustom.workQueues = {{"global-io"}, {"custom"}};
        AppCore core(std::move(withCustom));
        core.preInit();
        core.init();
        EXPECT_EQ(Singleton<WorkerThreadManager>::getMutable().workersCreated(), 6u);
        EXPECT_TRUE(foundation::isValidWorkQueueIndex(foundation::getWorkQueueIndexByName("custom")));
        // Without "global-compute" there is no error accumulator.
        EXPECT_FALSE(Singleton<IErrorAccumulator>::exists());
        core.term();
    }
    for (const auto& report : asserts()) {
        EXPECT_EQ(report.level, AssertLevel::Warning);
        EXPECT_EQ(report.message, "Unknown queue name custom");
    }
    EXPECT_FALSE(asserts().empty());
}

TEST_F(AppCoreTest, ALogThatCannotOpenLeavesAnEarlyEvent) {
    AppCore core(params([](config::ConfigSystem& config) { set(config, "logging.directoryOverride", ""); }));
    core.preInit();
    core.init();
    EXPECT_FALSE(Singleton<services::logging::ILogger>::getMutable().isEnabled());
    ASSERT_EQ(core.earlyTelemetryEvents().size(), 1u);
    EXPECT_EQ(core.earlyTelemetryEvents()[0].taxonomy(), "diags.logs.erro");
    EXPECT_EQ(core.earlyTelemetryEvents()[0].params(),
              (nlohmann::json{{"emsg", "Invalid log paths dir=[] filename=[AppCoreTest]"}}));
    EXPECT_TRUE(core.isInitialized());
    core.term();
}

TEST_F(AppCoreTest, TheApplicationContainerBesideTheExecutableFeedsTheConfiguration) {
    auto named = params();
    named.appName = "KorvDestager";
    named.loadAppResources = true;
    named.resourcePaths = {"absent.rcc"};
    AppCore core(std::move(named));
    core.preInit();
    EXPECT_TRUE(Singleton<resources::ResourceManager>::getMutable().exists(":/config/tamrin.cfg"));
    EXPECT_EQ(config::configSystem().getUInt32("app.serviceStopTimeoutInSeconds", 0), 300u);
    const auto& root = Singleton<domain::model::DomainModelRoot>::getMutable();
    EXPECT_EQ(root.environment().text, std::optional<std::string>("production"));
    EXPECT_EQ(services::platform::profiler().writeIntervalMs(), 1000u);
    EXPECT_FALSE(services::platform::profiler().isRunning());
    // The missing further file is skipped; the destructor ends a core that never initialised.
    EXPECT_TRUE(asserts().empty()) << ::testing::PrintToString(messages());
}

// The directory table is resolved from a temporary installed folder the program claims to run from.
TEST_F(AppCoreTest, PartnerProxyPathsComeFromTheDirectoryTable) {
    test::TempFolder install;
    install.writeFile(L"Korv Desktop\\KorvSteamProxy.exe", "");
    install.writeFile(L"Korv Desktop\\KorvEgsProxy.exe", "");
    test::ScopedAppKeyValue noLauncher("LauncherAppPath", std::nullopt);
    test::ScopedFilesystem filesystem(
        std::make_shared<test::FakeExecutableFilesystem>(install / L"Korv Desktop\\KorvDestager.exe"));
    {
        auto resolving = params();
        resolving.hooks = utils::suiteAppCoreHooks();
        AppCore core(std::move(resolving));
        EXPECT_EQ(test::ScopedCurrentFolder::current(), (install / L"Korv Desktop").wide());
        core.preInit();
        const auto& paths = Singleton<domain::model::DomainModelRoot>::getMutable().partnerProxyPaths();
        EXPECT_EQ(paths.steamProxy, (install / L"Korv Desktop\\KorvSteamProxy.exe").utf8());
        EXPECT_EQ(paths.egsProxy, (install / L"Korv Desktop\\KorvEgsProxy.exe").utf8());
        EXPECT_EQ(paths.steamAuthHelper, "");  // not installed: no path
    }
    SetCurrentDirectoryW(moduleFolder().c_str());  // the temporary folder can go
    const auto messages = this->messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        "getAppDirectoryFor failed.  appBuildFolder[korvSteamAuthHelper] "
                        "appName[KorvSteamAuthHelper.exe]"),
              messages.end());
}

TEST(OrdinaryAllocation, OneGibibyteIsReportedAndStillAttempted) {
    test::ScopedAssertCapture asserts;
    void* block = ::operator new (size_t{1} << 30);
    ASSERT_NE(block, nullptr);
    ::operator delete(block);
    ASSERT_EQ(asserts.asserts().size(), 1u);
    EXPECT_EQ(asserts.asserts()[0].level, AssertLevel::Fatal);
    EXPECT_EQ(asserts.asserts()[0].condition, "size < kNewMemoryWarningSize");
    EXPECT_EQ(asserts.asserts()[0].message, "Allocating a large section of memory, 1073741824");

    block = ::operator new((size_t{1} << 30) - 1);
    ::operator delete(block);
    EXPECT_EQ(asserts.asserts().size(), 1u);
}

int gNewHandlerCalls = 0;

TEST(OrdinaryAllocation, AFailureAsksTheNewHandlerUntilThereIsNone) {
    test::ScopedAssertCapture asserts;
    gNewHandlerCalls = 0;
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
