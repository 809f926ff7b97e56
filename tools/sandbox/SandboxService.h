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
    DWORD startType = 0;  // SERVICE_DEMAND_START, SERVICE_AUTO_START, ...
    std::wstring imagePath;
    std::wstring description;
};

inline constexpr const wchar_t* kServiceDescription = L"Korv app Background Service";

// Registers the service as the installer does (or re-points an existing registration) at `exe`;
// with `start`, starts it and waits until it reports running.
Result<void, std::string> installService(const std::filesystem::path& exe, bool start);

// Stops the service, ends its process if it does not stop, and deletes the registration.
Result<void, std::string> removeService();

ServiceInfo queryService();

// "running", "stopped", "stop pending", ... or "not installed".
std::string serviceStateText(const ServiceInfo& info);
// "demand", "auto", "disabled", ...
std::string startTypeText(DWORD startType);

}  // namespace kvx::sandbox
