#pragma once
// The steps of an update at which the install lies between two states. A shipped destager never
// sets a hook, so passing a crash point costs one test of a null pointer and names nothing; only
// the crash-test build of the destager sets one, to stop hard at a chosen step and prove that the
// next run completes the install.

#include <cstdint>

namespace kvx::apps::destager {

enum class CrashStep : uint8_t {
    afterRepairState,
    swapBeforeOldClientMove,
    swapAfterOldClientMove,
    swapAfterStagedMove,
    // A rename of the swap that failed and waits for its next attempt.
    renameRetrying,
    afterSwapBeforeRegistration,
    rollbackBeforeRestore,
    migrateAfterMove,
    migrateBeforeMoveBack,
    symlinkSwapAfterUnlink,
    revertAfterUnlink,
    revertOldFolderRemoval,
};

using CrashHook = void (*)(CrashStep step);

// Set once, before the update starts, by the crash-test build only.
void setCrashHook(CrashHook hook);

void crashPoint(CrashStep step);

}  // namespace kvx::apps::destager
