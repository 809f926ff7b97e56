#pragma once
// Rollback after a failed plain-mode swap: the moved-aside client goes back to its place.

#include "foundation/update/DestageContext.h"

namespace kvx::apps::destager::internal {

// The outcome is logged and, on failure, reported as error telemetry.
void restoreInstall(const DestageContext& context);

}  // namespace kvx::apps::destager::internal
