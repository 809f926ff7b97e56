#include "framework/app/AppCore.h"

#include <windows.h>

#include <new>

#include <fmt/format.h>

#include "foundation/Logging.h"
#include "foundation/Singleton.h"
#include "foundation/fs/IFilesystem.h"
#include "framework/app/DomainModelRoot.h"
#include "framework/app/LocalizationSystem.h"
#include "framework/app/PlatformLibraries.h"
#include "framework/app/StartupSettings.h"
#include "framework/app/WorkQueueSetup.h"
#include "framework/config/AppConfigUtil.h"
#include "framework/config/ResourceManager.h"
#include "framework/config/StaticConfiguration.h"
#include "framework/config/WindowsConfigPlatform.h"
#include "framework/errors/AssertionHandler.h"
#include "framework/errors/ErrorAccumulator.h"
#include "framework/errors/ExceptionSystem.h"
#include "framework/logging/LogFormat.h"
#include "framework/logging/ThreadedLogger.h"
#include "framework/logging/Win32LogStorage.h"
#include "framework/settings/SpecialDirectoryConfig.h"
#include "framework/workqueue/Win32ThreadPlatform.h"

namespace kvx::apps {
namespace {

using foundation::AssertLevel;
using foundation::utils::Singleton;

constexpr const char* kLoadResourceFile = "kvx::apps::AppCore::loadResourceFile";
constexpr const char* kStartupLocale = "en-US";

// Lets the clock singleton hold a clock that the caller keeps driving (tests' virtual time).
class SharedClock final : public foundation::IClock {
public:
    explicit SharedClock(std::shared_ptr<foundation::IClock> clock) : mClock(std::move(clock)) {}
    int64_t nowNanosecondsSinceEpoch() const override { return mClock->nowNanosecondsSinceEpoch(); }
    std::chrono::nanoseconds monotonicNow() const override { return mClock->monotonicNow(); }
    void sleepUntil(std::chrono::nanoseconds deadline) override { mClock->sleepUntil(deadline); }

private:
    std::shared_ptr<foundation::IClock> mClock;
};

std::string joinedPath(const std::string& folder, const char* fileName) {
    return folder.empty() ? std::string() : (fs::Path::fromUtf8(folder) / fs::Path::fromUtf8(fileName)).utf8();
}

}  // namespace

AppCore::AppCore(AppCoreParams params) : mParams(std::move(params)) {
    // The process counts as not configurable until preInit decides (the flag starts false).
    foundation::SetDefaultAllocator(&mAllocator);
    foundation::initAssertions(mParams.assertHandler ? mParams.assertHandler : foundation::makeAssertionHandler());
    for (int i = 0; mParams.argv != nullptr && i < mParams.argc; ++i) {
        mArguments.emplace_back(mParams.argv[i] != nullptr ? mParams.argv[i] : "");
    }
    locateExecutable();
    if (mParams.hooks.resolveAppDirectories) {
        mParams.hooks.resolveAppDirectories();
    }
    createServices();
}

AppCore::~AppCore() {
    Singleton<domain::model::DomainModelRoot>::destroy();
    services::platform::profiler().stop();
    services::platform::traceLibrary().stop();
    if (mInitialized) {
        term();
    } else {
        // A run that stopped between preInit and init still ends what the constructor started.
        services::platform::networkLibrary().shutdown();
        releaseLoggerAndClock();
    }
    Singleton<resources::ResourceManager>::destroy();
    Singleton<config::ConfigSystem>::destroy();
    if (mExceptionSystem != nullptr) {
        mExceptionSystem->~ExceptionSystem();
        mExceptionAllocator->free(mExceptionSystem);
        mExceptionSystem = nullptr;
    }
    foundation::terminateAssertions();
    foundation::SetDefaultAllocator(nullptr);
}

void AppCore::locateExecutable() {
    auto executable = fs::filesystem().executablePath();
    KVX_ASSERT(AssertLevel::Error, executable.isOk(), "could not determine the executable's path, osError[{}]",
               executable.isError() ? executable.peekError() : 0);
    if (executable.isError()) {
        return;
    }
    const fs::Path path = executable.unwrap();
    mExecutablePath = path.utf8();
    if (mParams.useExceptionSystem) {
        createExceptionSystem();
    }
    mExecutableFolder = path.parent().utf8();
    mExecutableName = path.filename().utf8();
    // Relative names (the resource container, developer tools) are found beside the executable.
    const bool changed = SetCurrentDirectoryW(path.parent().c_str()) != FALSE;
    KVX_ASSERT(AssertLevel::Error, changed, "could not change the current directory to [{}], osError[{}]",
               mExecutableFolder, changed ? 0 : GetLastError());
}

void AppCore::createExceptionSystem() {
    mExceptionAllocator = foundation::GetDefaultAllocator();
    if (mExceptionAllocator == nullptr) {
        return;
    }
    void* block = mExceptionAllocator->alloc(sizeof(foundation::ExceptionSystem), alignof(foundation::ExceptionSystem),
                                             0, foundation::kAllocPermanent, "ExceptionSystem");
    if (block != nullptr) {
        mExceptionSystem = new (block) foundation::ExceptionSystem(mExecutablePath);
    }
}

void AppCore::createServices() {
    Singleton<config::ConfigSystem>::create();
    auto& resources = Singleton<resources::ResourceManager>::create();
    if (mParams.clock) {
        Singleton<foundation::IClock>::createDerived<SharedClock>(mParams.clock);
    } else {
        Singleton<foundation::IClock>::createDerived<foundation::SystemClock>();
    }
    // Thread names and ids come from Windows from here on, the logger's writer included.
    mPreviousThreadPlatform = setThreadPlatform(&win32ThreadPlatform());
    mLogger = &Singleton<services::logging::ILogger>::createDerived<services::logging::ThreadedLogger>(
        services::logging::win32LoggerEnvironment(mParams.hooks.fileHolders));
    Singleton<domain::model::DomainModelRoot>::create();
    mConfigPlatform = std::make_unique<ConfigPlatform>(
        makeWindowsConfigPlatform(resources, mParams.hooks.machineSettingsTrusted));
}

void AppCore::preInit() {
    KVX_ASSERT(AssertLevel::Fatal, !mPreInitialized, "AppCore already pre-initialized");
    if (mPreInitialized) {
        return;
    }
    loadResources();
    processConfigurable().decide(*mConfigPlatform);
    recordPartnerProxyPaths();
    auto& config = config::configSystem();
    processStaticConfiguration(config);
    foundation::registerSpecialDirectoryRedirections();
    configureProfiler(config, mParams.appName, services::platform::profiler());
    services::platform::networkLibrary().startup(networkStartParameters(config));
    mPreInitialized = true;
}

void AppCore::init() {
    KVX_ASSERT(AssertLevel::Fatal, mPreInitialized, "AppCore not pre-initialized");
    KVX_ASSERT(AssertLevel::Fatal, !mInitialized, "AppCore already initialized");
    if (!mPreInitialized || mInitialized) {
        return;
    }
    auto& config = config::configSystem();
    if (mParams.hooks.enableTls12ClientSupport) {
        mParams.hooks.enableTls12ClientSupport();
    }
    Singleton<WorkerThreadManager>::create();
    prepareWorkQueues(config);
    if (foundation::isValidWorkQueueIndex(foundation::getWorkQueueIndexByName("global-compute"))) {
        Singleton<IErrorAccumulator>::createDerived<ErrorAccumulator>(readErrorAccumulatorConfiguration(config));
    }
    openLog();
    if (mParams.hooks.logAppInfo) {
        std::vector<const char*> argv;
        for (const auto& argument : mArguments) {
            argv.push_back(argument.c_str());
        }
        mParams.hooks.logAppInfo(argv.data(), static_cast<int>(argv.size()), mParams.appName);
    }
    Singleton<services::platform::LocalizationSystem>::create().loadLocale(kStartupLocale);
    if (mExceptionSystem != nullptr) {
        mExceptionSystem->setLogFilePaths(services::logging::mainLogPath(mLogLocation.folder, mLogLocation.fileName),
                                          services::logging::verboseLogPath(mLogLocation.folder, mLogLocation.fileName));
    }
    mInitialized = true;
}

void AppCore::term() {
    KVX_ASSERT(AssertLevel::Fatal, mInitialized, "AppCore never initialized or already terminated");
    if (!mInitialized) {
        return;
    }
    Singleton<services::platform::LocalizationSystem>::destroy();
    // The workers stop before the services they report to go: a task still running could otherwise
    // reach a destroyed error accumulator, logger or clock.
    shutdownWorkQueues(Singleton<WorkerThreadManager>::getMutable());
    Singleton<WorkerThreadManager>::destroy();
    if (Singleton<IErrorAccumulator>::exists()) {
        Singleton<IErrorAccumulator>::destroy();
    }
    services::platform::networkLibrary().shutdown();
    releaseLoggerAndClock();
    mInitialized = false;
}

void AppCore::releaseLoggerAndClock() {
    // Destroying the logger flushes and closes its files; no worker thread is left to log into it.
    if (mLogger != nullptr) {
        Singleton<services::logging::ILogger>::destroy();
        mLogger = nullptr;
        setThreadPlatform(mPreviousThreadPlatform);
    }
    if (Singleton<foundation::IClock>::exists()) {
        Singleton<foundation::IClock>::destroy();
    }
}

void AppCore::loadResources() {
    if (mParams.loadAppResources) {
        loadResourceFile(fmt::format("{}.rcc.enc", mParams.appName));
    }
    for (const auto& path : mParams.resourcePaths) {
        loadResourceFile(path);
    }
}

void AppCore::loadResourceFile(const std::string& path) {
    KVX_LOG_AS(kLoadResourceFile, services::logging::Info, "Loading resource file: [{}]", path);
    auto& root = Singleton<domain::model::DomainModelRoot>::getMutable();
    AppConfigUtil util(config::configSystem(), Singleton<resources::ResourceManager>::getMutable(), *mConfigPlatform,
                       root.environment());
    auto container = util.loadRcc(path);
    if (container.isError()) {
        KVX_LOG_AS(kLoadResourceFile, services::logging::Error, "Failed to load resource file {}: {}", path,
                   container.peekError());
        return;
    }
    onResourceLoaded(container.peek());
}

void AppCore::onResourceLoaded(const std::vector<uint8_t>& container) {
    auto added = Singleton<resources::ResourceManager>::getMutable().addRccData(container);
    if (added.isError()) {
        KVX_LOG_ERROR("Resource container rejected: {}", added.peekError());
    }
}

void AppCore::recordPartnerProxyPaths() {
    const auto& folders = mParams.hooks.partnerProxyFolders;
    const PartnerProxyFolders found = folders ? folders() : PartnerProxyFolders{};
    Singleton<domain::model::DomainModelRoot>::getMutable().setPartnerProxyPaths({
        joinedPath(found.steamProxy, "KorvSteamProxy.exe"),
        joinedPath(found.steamAuthHelper, "KorvSteamAuthHelper.exe"),
        joinedPath(found.egsProxy, "KorvEgsProxy.exe"),
    });
}

void AppCore::processStaticConfiguration(config::ConfigSystem& config) {
    auto& root = Singleton<domain::model::DomainModelRoot>::getMutable();
    apps::processStaticConfiguration(
        config, Singleton<resources::ResourceManager>::getMutable(), *mConfigPlatform, root.environment(),
        {mParams.appName, processConfigurable().value(), mParams.defaultConfigHook, mParams.extendedConfigHook});
}

void AppCore::prepareWorkQueues(config::ConfigSystem& config) {
    apps::prepareWorkQueues(config, mParams.workQueues, Singleton<WorkerThreadManager>::getMutable());
}

void AppCore::openLog() {
    auto logsFolder = services::logging::defaultLogsFolder();
    const std::string defaultFolder = logsFolder.isOk() ? logsFolder.peek() : std::string();
    mLogLocation = logLocation(config::configSystem(), defaultFolder, mParams.appName);
    auto opened = mLogger->open({mLogLocation.folder, mLogLocation.fileName});
    if (opened.isError()) {
        mEarlyTelemetryEvents.push_back(logOpenFailureEvent(opened.peekError()));
    }
}

}  // namespace kvx::apps
