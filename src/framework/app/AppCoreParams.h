#pragma once
// What the main flow tells the application core before constructing it.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Assert.h"
#include "foundation/Clock.h"
#include "framework/config/ConfigSystem.h"
#include "framework/workqueue/WorkQueueSystem.h"

namespace kvx::apps {

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
    // Resolve the directories of the suite's programs (the application directory table).
    bool resolveAppDirectories = false;
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
