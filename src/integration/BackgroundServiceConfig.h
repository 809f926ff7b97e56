#pragma once
// The background service's registration, pointed at the new client after a swap.

#include "foundation/update/DestageContext.h"

namespace kvx::apps::destager::internal {

// Image path, demand start, description and access list; a failure is logged, never returned.
void updateBackgroundServiceConfig(const DestageContext& context);

}  // namespace kvx::apps::destager::internal
