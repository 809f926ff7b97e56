#pragma once
// The steps of an update at which the install lies between two states, and those of the main flow.
// A shipped destager never sets a hook, so passing a crash point costs one test of a null pointer
// and names nothing; only the crash-test build of the destager sets one, to stop hard at a chosen
// step and prove that the next run completes the install, or to throw there and prove that the run
// still records its outcome and hands the suite back.

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
    // Partway through that removal: passed by no code of the destager's own, only by the filesystem
    // the crash-test build puts in place at the step before.
    revertOldFolderPartlyRemoved,
    // The main flow's steps, where the crash-test build may also throw instead of stopping.
    mainBeforeKeyRepair,
    mainBeforeLoopCheck,
    mainBeforeBookkeeping,
    mainBeforeProtocolRepair,
};

using CrashHook = void (*)(CrashStep step);

// Set once, before the update starts, by the crash-test build only.
void setCrashHook(CrashHook hook);

void crashPoint(CrashStep step);

}  // namespace kvx::apps::destager
