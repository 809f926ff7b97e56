#pragma once
// File versions for error records: the client executable's version tells which build failed to update.

#include <string>

#include "foundation/fs/Path.h"

namespace kvx::apps::internal {

// "{}.{}.{}.{}" from the file's version resource; "0.0.0.0" when it has none or cannot be read.
std::string fileVersionText(const fs::Path& file);

// "KorvDesktop.exe" in the live client folder. The destager runs from
// <install>\<staged folder>\Korv Desktop\, so the client folder is <install>\Korv Desktop.
fs::Path telemetryClientExePath();

}  // namespace kvx::apps::internal
