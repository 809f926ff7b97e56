#pragma once
// Symlink mode: the client folder is a directory link into a versioned or staged folder beside it,
// and an update re-points the link instead of moving folders.

#include <cstdint>
#include <string>

#include "foundation/update/DestageContext.h"

namespace kvx::apps::destager::internal {

// Moves the plain client folder into a new versioned folder and links the client path to it.
// 0, kSymlinkMigrationMoveFailed or kSymlinkMigrationLinkFailed.
int32_t migrateToSymlinkMode(const DestageContext& context);

// Re-points the client link at the staged client. 0, kSymlinkSwapRemoveLinkFailed or
// kSymlinkSwapCreateLinkFailed.
int32_t swapSymlinkFolders(const DestageContext& context);

// Moves the link's target back to the client path as a plain folder. 0,
// kSymlinkRevertResolveLinkFailed, kSymlinkRevertRemoveLinkFailed or kSymlinkRevertMoveBackFailed.
int32_t revertSymlinkMode(const DestageContext& context);

// "<a.b.c.d>-<unix seconds>": the client executable's file version and the clock's current time.
std::string versionedFolderName(const DestageContext& context);

}  // namespace kvx::apps::destager::internal
