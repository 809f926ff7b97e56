#pragma once
// Service operations by name, each on a service opened for that one operation.

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/Result.h"
#include "foundation/fs/Path.h"
#include "process/ServiceTypes.h"

namespace kvx::services::platform {

// Access masks of the operations below.
inline constexpr uint32_t kManagerEnumerate = 4;       // SC_MANAGER_ENUMERATE_SERVICE
inline constexpr uint32_t kServiceQueryConfig = 1;     // SERVICE_QUERY_CONFIG
inline constexpr uint32_t kServiceQueryStatus = 4;     // SERVICE_QUERY_STATUS
inline constexpr uint32_t kServiceStopAndQuery = 36;   // SERVICE_STOP | SERVICE_QUERY_STATUS

class ServiceControlManager {
public:
    static bool stopService(std::string_view name, int64_t timeoutMs);
    // False only when the query failed; `status` is then untouched.
    static bool getServiceStatus(std::string_view name, ServiceStatus& status);
    // The image path the service is registered with.
    static Result<fs::Path, std::string> getServicePath(std::string_view name);
};

}  // namespace kvx::services::platform
