#pragma once
// The suite's shortcuts, recreated after a successful update. Failures are reported as destage
// error telemetry and never change the update's result.

#include "foundation/update/DestageContext.h"
#include "foundation/update/DestagerOptions.h"

namespace kvx::apps::destager::internal {

// Refreshes an existing desktop shortcut; creates a missing one only when the options want it.
void createDesktopShortcut(const DestagerOptions& options);
void createStartMenuShortcuts();
// "App Recovery.lnk" inside the client folder; an existing one is left alone.
void createAppRecoveryShortcut(const DestageContext& context);

}  // namespace kvx::apps::destager::internal
