#include "framework/app/StartupSettings.h"

#include <fmt/format.h>

namespace kvx::apps {

void configureProfiler(const config::ConfigSystem& config, std::string_view appName,
                       services::platform::Profiler& profiler) {
    profiler.setWriteIntervalMs(config.getUInt32("profiling.writeIntervalMs", 1000));
    bool autoStart = config.getBool("profiling.autoStart", false);
    if (!autoStart) {
        autoStart = config.getBool(fmt::format("profiling.{}.autoStart", appName), false);
    }
    if (autoStart && !profiler.isRunning()) {
        profiler.start(std::string(appName));
    }
}

std::string networkStartParameters(const config::ConfigSystem& config) {
    return fmt::format("-servicename={} -noupnp", config.getString("app.clientId", ""));
}

LogLocation logLocation(const config::ConfigSystem& config, std::string_view defaultFolder, std::string_view appName) {
    return {config.getString("logging.directoryOverride", defaultFolder),
            config.getString("logging.fileNameOverride", appName)};
}

foundation::TelemetryEvent logOpenFailureEvent(std::string_view error) {
    foundation::TelemetryEvent event("diags.logs.erro");
    event.setParam("emsg", std::string(error));
    return event;
}

}  // namespace kvx::apps
