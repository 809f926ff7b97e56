#pragma once
// Stopping the suite's background service, whether it runs as a Windows service or, in a
// development set-up, as a plain executable.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "process/ServiceTypes.h"

namespace kvx::apps {

inline constexpr const char* kBgServiceName = "KorvBackgroundService";
inline constexpr const char* kBgServiceExecutable = "KorvBackgroundService.exe";

// Re-reads a service in transition up to five times, a second apart; Pending if it stays so.
services::platform::ServiceStatus pollServiceStatus(std::string_view name);
// Stops a running service; a paused, pending or absent one is left alone and reported false.
bool stopService(std::string_view name, int64_t timeoutMs);
// True when the service is stopped, was stopped, or may run beside others as an executable.
bool stopBgService(int64_t timeoutMs);
// True when one pass ended every process of these names.
bool stopExecutablesByName(const std::unordered_set<std::string>& names);

}  // namespace kvx::apps
