#pragma once
// Plain-mode swap: the live client folder is moved aside and the staged client moved into its
// place, every step retried on the folder schedule and a lock holder named when a step gives up.

#include <cstdint>
#include <string>

#include "foundation/fs/Path.h"
#include "foundation/update/DestageContext.h"

namespace kvx::apps {

// Per-attempt warning of every retried filesystem step of a swap.
void logFileIoFailure(uint8_t attemptNumber, uint32_t lastError);

}  // namespace kvx::apps

namespace kvx::apps::destager::internal {

inline constexpr int32_t kRenameMoved = 0;
inline constexpr int32_t kRenameDestinationNotRemoved = 1;
inline constexpr int32_t kRenameFailed = 2;
inline constexpr int32_t kRenameParentNotCreated = 4;

struct RenameResult {
    int32_t code = kRenameMoved;
    uint32_t osError = 0;  // the Windows error of the failing step

    bool ok() const { return code == kRenameMoved; }
};

// "{number}: {system text}", the form every OS error takes in the update's messages.
std::string osErrorText(uint32_t osError);

// Clears an existing destination, creates its parent and renames. `contextName` names the caller's
// step in lock reports ("oldClient", "staged", "rollback", ...).
RenameResult renameFolder(const fs::Path& oldPath, const fs::Path& newPath, const std::string& contextName);

// 0, kMoveOldClientFailed or kMoveStagedClientFailed (after a rollback attempt).
int32_t swapFolders(const DestageContext& context);

}  // namespace kvx::apps::destager::internal
