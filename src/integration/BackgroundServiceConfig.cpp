#include "integration/BackgroundServiceConfig.h"

#include "foundation/Logging.h"

namespace kvx::apps::destager::internal {

// TODO(pending): background service configuration (service reconfiguration and access list)
void updateBackgroundServiceConfig(const DestageContext& context) {
    KVX_LOG_WARN("Updating the background service configuration is not available yet; path[{}] not registered",
                 context.backgroundServiceExePath.utf8());
}

}  // namespace kvx::apps::destager::internal
