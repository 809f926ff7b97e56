#pragma once
// Compares unpacked files with the CRC-32 values in the downloaded archive's central directory.
// Differences become error telemetry; they never fail the update.

#include "foundation/fs/Path.h"

namespace kvx::apps {

// `folder` is the client folder (staged, or live after the swap); archive entry names are relative
// to its parent. `destaged` selects the after-swap error kinds and skips the destager's own files.
void tryValidateStagedFiles(const fs::Path& folder, const fs::Path& zipPath, bool destaged);

}  // namespace kvx::apps
