#pragma once
// Its member list is a fixed contract: members that nothing here uses yet stay.
// The object the main flow creates first and destroys last. It owns the process-wide services and
// brings them up and down in a fixed order:
//
//   AppCore core(params);  // allocator, assertions, configuration, resources, clock, logger (closed)
//   core.preInit();        // resources and static configuration
//   core.init();           // work queues, error accumulator, log file, localisation
//   ...                    // the program's work
//   core.term();           // everything init started; the destructor calls it when forgotten
//
// Each step runs once, on the main thread; misuse is reported as a Fatal failed check.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/app/AppCoreParams.h"
#include "framework/app/MallocAllocator.h"
#include "framework/app/StartupSettings.h"
#include "framework/config/ConfigPlatform.h"
#include "framework/telemetry/TelemetryEvent.h"

namespace kvx {
class IThreadPlatform;
namespace foundation {
class ExceptionSystem;
}
namespace services::logging {
class ThreadedLogger;
}
}  // namespace kvx

namespace kvx::apps {

class AppCore {
public:
    explicit AppCore(AppCoreParams params);
    virtual ~AppCore();
    AppCore(const AppCore&) = delete;
    AppCore& operator=(const AppCore&) = delete;

    void preInit();
    void init();
    void term();

    // Reads and deciphers a resource container and hands it to onResourceLoaded; a failure is
    // logged and the start goes on without it.
    void loadResourceFile(const std::string& path);
    // Steps of preInit and init, public for programs that run them again on their own terms.
    // prepareWorkQueues needs the worker-thread manager that init creates first.
    void processStaticConfiguration(config::ConfigSystem& config);
    void prepareWorkQueues(config::ConfigSystem& config);

    bool isPreInitialized() const { return mPreInitialized; }
    bool isInitialized() const { return mInitialized; }
    const std::string& executableFolder() const { return mExecutableFolder; }
    const std::string& executableName() const { return mExecutableName; }
    // Null unless the parameters asked for the crash-report client.
    foundation::ExceptionSystem* exceptionSystem() const { return mExceptionSystem; }
    // Events recorded before they could be sent (a log that failed to open).
    const std::vector<foundation::TelemetryEvent>& earlyTelemetryEvents() const { return mEarlyTelemetryEvents; }

protected:
    // The application container when asked for, then the further resource paths.
    virtual void loadResources();
    virtual void onResourceLoaded(const std::vector<uint8_t>& container);

private:
    void locateExecutable();
    void createExceptionSystem();
    void createServices();
    void recordPartnerProxyPaths();
    void openLog();
    void releaseLoggerAndClock();

    AppCoreParams mParams;
    bool mPreInitialized = false;
    bool mInitialized = false;
    foundation::MallocAllocator mAllocator{"default"};
    std::vector<foundation::TelemetryEvent> mEarlyTelemetryEvents;
    std::string mExecutablePath;
    std::string mExecutableFolder;
    std::string mExecutableName;
    std::vector<std::string> mArguments;
    foundation::ExceptionSystem* mExceptionSystem = nullptr;
    foundation::IAllocator* mExceptionAllocator = nullptr;
    LogLocation mLogLocation;
    services::logging::ThreadedLogger* mLogger = nullptr;
    IThreadPlatform* mPreviousThreadPlatform = nullptr;
    std::unique_ptr<ConfigPlatform> mConfigPlatform;
};

}  // namespace kvx::apps
