#pragma once
// The suite's machine-wide application data directory, "<ProgramData>\Korv Desktop", made once per
// machine: emptied, owned by the administrators and never reached through a user's redirect.

#include <cstdint>
#include <functional>

#include "foundation/fs/Path.h"

namespace kvx::apps {

// What the step reaches beyond the registry; tests replace the service stop.
struct CommonAppDataSteps {
    std::function<void(int64_t timeoutMs)> stopBackgroundService;
    // The admin-owned creation (directory, required prefix): a DirectoryOutcome.
    std::function<int32_t(const fs::Path& directory, const fs::Path& prefix)> createDirectory;
};

CommonAppDataSteps systemCommonAppDataSteps();

// True when "CommonAppPathCreated" says the directory exists, or once it has been made (then the
// flag is written in both registry views); false after the last of ten tries (the run then ends).
bool createCommonAppDataDirectory();
// "CommonAppPathCreated" is exactly 1 (64-bit view): the directory was made admin-owned, so no user
// could have written what it holds.
bool commonAppDataDirectoryProtected();
bool createCommonAppDataDirectory(const CommonAppDataSteps& steps);

}  // namespace kvx::apps
