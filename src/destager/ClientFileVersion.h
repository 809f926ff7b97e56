#pragma once
// File versions for error records: the client executable's version tells which build failed to update.

#include <string>

#include "foundation/fs/Path.h"

namespace kvx::apps::internal {

// "{}.{}.{}.{}" from the file's version resource; "0.0.0.0" when it has none or cannot be read.
std::string fileVersionText(const fs::Path& file);

// "KorvDesktop.exe" in the client folder of the install location in the application key; empty
// when there is none.
fs::Path telemetryClientExePath();

}  // namespace kvx::apps::internal
