#pragma once
// The background service of a sandbox install, registered under its real name, because the
// destager stops it by that name.

#include <windows.h>

#include <filesystem>
#include <string>

#include "foundation/Result.h"

namespace kvx::sandbox {

struct ServiceInfo {
    bool installed = false;
    DWORD state = 0;  // SERVICE_RUNNING, SERVICE_STOPPED, ...
    DWORD pid = 0;
    std::wstring imagePath;
};

// Registers the service (or re-points an existing registration) at `exe`, starts it and waits
// until it reports running.
Result<void, std::string> installAndStartService(const std::filesystem::path& exe);

// Stops the service, ends its process if it does not stop, and deletes the registration.
Result<void, std::string> removeService();

ServiceInfo queryService();

// "running", "stopped", "stop pending", ... or "not installed".
std::string serviceStateText(const ServiceInfo& info);

}  // namespace kvx::sandbox
