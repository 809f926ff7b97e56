#pragma once
// What the main flow tells the application core before constructing it.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Assert.h"
#include "foundation/Clock.h"
#include "framework/config/ConfigSystem.h"
#include "framework/workqueue/WorkQueueSystem.h"

namespace kvx::apps {

// The folders (UTF-8, no trailing separator; empty when not installed) of the partner proxies the
// core records at pre-initialisation.
struct PartnerProxyFolders {
    std::string steamProxy;
    std::string steamAuthHelper;
    std::string egsProxy;
};

// What the core needs from the program's install and its processes, which lie above it: start-up
// duties run at fixed points, and queries. An empty one is skipped (no folders: no partner proxy
// paths; no holders: a log that cannot be rotated names nobody).
struct AppCoreHooks {
    // In the constructor, before the services: where the suite's programs lie.
    std::function<void()> resolveAppDirectories;
    // In preInit, read after resolveAppDirectories.
    std::function<PartnerProxyFolders()> partnerProxyFolders;
    // In preInit, before machine.ini is read: false while its folder was never protected, when any
    // user could have planted the file, which is then ignored. Empty: the file is trusted.
    std::function<bool()> machineSettingsTrusted;
    // In init, before the work queues start.
    std::function<void()> enableTls12ClientSupport;
    // In init, once the log is open: the start-up banner.
    std::function<void(const char* const* argv, int argc, std::string_view appName)> logAppInfo;
    // The programs holding a file open, for the log's report of a file it cannot rotate.
    std::function<std::vector<std::string>(const std::string& path)> fileHolders;
};

struct AppCoreParams {
    // The program's arguments, UTF-8; copied by the core for the start-up line.
    int argc = 0;
    const char* const* argv = nullptr;
    // One per queue, e.g. {{"global-compute"}, {"global-io"}}.
    std::vector<foundation::WorkQueueDescription> workQueues;
    // Load "<appName>.rcc.enc" from the executable's folder, then each of resourcePaths.
    bool loadAppResources = false;
    std::vector<std::string> resourcePaths;
    // Install the crash-report client.
    bool useExceptionSystem = false;
    AppCoreHooks hooks;
    // Null: the system clock. Shared so that a test can keep driving the clock it passes.
    std::shared_ptr<foundation::IClock> clock;
    std::function<void(config::ConfigSystem&)> defaultConfigHook;
    std::function<void(config::ConfigSystem&)> extendedConfigHook;
    // Names the resource container, the configuration file, the log files and the profiling switch.
    std::string appName;
    // Empty: the program's own handler (makeAssertionHandler).
    foundation::AssertHandler assertHandler;
};

}  // namespace kvx::apps
