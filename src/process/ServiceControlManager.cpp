#include "process/ServiceControlManager.h"

#include <windows.h>

#include <vector>

#include "foundation/Logging.h"
#include "process/Win32Service.h"

namespace kvx::services::platform {

bool ServiceControlManager::stopService(std::string_view name, int64_t timeoutMs) {
    KVX_LOG_INFO("Stopping service '{}'...", name);
    ServiceOpenState service(name, kServiceStopAndQuery, kManagerEnumerate);
    switch (service.openResult()) {
        case OpenResult::Opened:
            return service.ensureStopped(timeoutMs);
        case OpenResult::NotPresent:
            KVX_LOG_INFO("'{}' not registered in SCM database.", name);
            return false;
        case OpenResult::Error:
            break;
    }
    return false;
}

bool ServiceControlManager::getServiceStatus(std::string_view name, ServiceStatus& status) {
    ServiceOpenState service(name, kServiceQueryStatus, kManagerEnumerate);
    switch (service.openResult()) {
        case OpenResult::Opened:
            status = toServiceStatus(service.getState());
            return true;
        case OpenResult::NotPresent:
            status = ServiceStatus::NotInstalled;
            return true;
        case OpenResult::Error:
            break;
    }
    return false;
}

Result<fs::Path, std::string> ServiceControlManager::getServicePath(std::string_view name) {
    ServiceOpenState service(name, kServiceQueryConfig, kManagerEnumerate);
    if (service.openResult() != OpenResult::Opened) {
        return Err{std::string("Service not present")};
    }
    std::vector<uint8_t> buffer;
    if (!service.queryConfig(buffer)) {
        return Err{std::string("Failed to query service config")};
    }
    const auto* config = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.data());
    return Ok{fs::Path(std::wstring(config->lpBinaryPathName != nullptr ? config->lpBinaryPathName : L""))};
}

}  // namespace kvx::services::platform
