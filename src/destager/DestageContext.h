#pragma once
// The paths of one destage, built once before the update is applied and handed to every step.

#include "foundation/fs/Path.h"

namespace kvx::apps {

struct DestageContext {
    fs::Path clientPath;        // the live client folder "Korv Desktop" under the install root
    fs::Path stagedClientPath;  // "Korv Desktop" inside the staged folder
    fs::Path zipPath;           // the downloaded archive beside the staged folder
};

}  // namespace kvx::apps
