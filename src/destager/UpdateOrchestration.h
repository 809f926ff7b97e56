#pragma once
// Applying a staged update from end to end: the folder checks, the repair state, the swap in plain
// or symlink mode, and the refresh of the suite's registration afterwards.

#include <cstdint>
#include <functional>

#include "destager/EarlyValidation.h"
#include "foundation/update/DestageContext.h"
#include "foundation/update/DestagerOptions.h"

namespace kvx::apps::destager::internal {

// The steps that reach beyond the install folder (processes, registry, shortcuts, the service).
// The folder moves themselves are always the real ones.
struct UpdateSteps {
    std::function<void()> setSuiteUnavailable;
    std::function<int32_t()> enterRepairState;
    std::function<void(const DestageContext&)> updateBackgroundServiceConfig;
    std::function<void()> updateUninstallStrings;
    std::function<void()> updateUninstallEntries;
    std::function<void(const DestagerOptions&)> createDesktopShortcut;
    std::function<void()> createStartMenuShortcuts;
    std::function<void(const DestageContext&)> createAppRecoveryShortcut;
};

// The steps as the program runs them.
UpdateSteps systemUpdateSteps();

// 0, kStagedClientMissing or kClientFolderMissing; the staged folder is checked first.
int32_t validateDirectories(const DestageContext& context);

// Stops the suite, reports the staged files' validation and swaps the staged client in; 0 or the
// failing step's code. Unless the suite stopped, the validation is left unreported.
int32_t destageUpdate(const DestageContext& context, const UpdateSteps& steps,
                      apps::internal::EarlyValidation& stagedValidation);

// An update started without a mode on a machine set up for Flint keeps Flint's missing shortcuts.
bool isStoredFlintUpdate(const DestagerOptions& options);

// Whether the options ask for a desktop shortcut that is missing: install or repair, not Flint,
// and no "no-desktop-shortcut".
bool isDesktopShortcutWanted(const DestagerOptions& options);

}  // namespace kvx::apps::destager::internal

namespace kvx::apps::destager {

// The main flow's one call: 0, or the result code of the first step that failed.
int32_t applyUpdate(const DestagerOptions& options, const DestageContext& context);
int32_t applyUpdate(const DestagerOptions& options, const DestageContext& context,
                    const internal::UpdateSteps& steps);

}  // namespace kvx::apps::destager
