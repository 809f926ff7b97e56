#pragma once
// The background service's registration, pointed at the new client after a swap.

#include <string>
#include <string_view>

#include "foundation/Result.h"
#include "foundation/update/DestageContext.h"
#include "process/ServiceTypes.h"

namespace kvx::apps::destager::internal {

inline constexpr const char* kBgServiceDescription = "Korv app Background Service";
// Full access for LocalSystem and Administrators; read and execute (start, query) for interactive
// users, service logons and Users.
inline constexpr const char* kBgServiceSddl =
    "D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GRGX;;;IU)(A;;GRGX;;;SU)(A;;GRGX;;;BU)";

// Image path, demand start, description and access list; a failure is logged, never returned.
void updateBackgroundServiceConfig(const DestageContext& context);

// Creates the service when missing, else changes its start type and image path (the quoted
// executable path), then sets its description and access list. Earlier changes stay when a
// later step fails.
Result<void, std::string> configureService(std::string_view name, std::string_view description,
                                           services::platform::ServiceStartType startType,
                                           std::string_view executablePath, std::string_view sddl);

}  // namespace kvx::apps::destager::internal
