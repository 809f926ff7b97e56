#pragma once
// Start-up decisions of the application core that depend only on the configuration, kept apart
// from the Windows pieces so they run under the sanitizers too.

#include <string>
#include <string_view>

#include "framework/app/PlatformLibraries.h"
#include "framework/config/ConfigSystem.h"
#include "framework/telemetry/TelemetryEvent.h"

namespace kvx::apps {

// "profiling.writeIntervalMs" (default 1000) becomes the write interval; "profiling.autoStart", or
// else "profiling.<app>.autoStart", starts the profiler when it is not already running.
void configureProfiler(const config::ConfigSystem& config, std::string_view appName,
                       services::platform::Profiler& profiler);

// "-servicename=<app.clientId> -noupnp".
std::string networkStartParameters(const config::ConfigSystem& config);

// Folder and file name of the log: the overrides, else the logs folder and the application name.
struct LogLocation {
    std::string folder;
    std::string fileName;
};
LogLocation logLocation(const config::ConfigSystem& config, std::string_view defaultFolder, std::string_view appName);

// The event kept when the log cannot be opened; the log itself cannot say so.
foundation::TelemetryEvent logOpenFailureEvent(std::string_view error);

}  // namespace kvx::apps
