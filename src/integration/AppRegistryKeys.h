#pragma once
// Repairs the app key from the running destager's own location: where the suite is installed and
// where its main executables live, in both registry views.

#include <cstdint>
#include <string_view>

#include "foundation/fs/Path.h"
#include "foundation/registry/RegistryKey.h"
#include "foundation/update/DestagerOptions.h"

namespace kvx::apps {

// 0 when the keys are right (or an update found them present), 22 when the install location has the
// wrong shape, the destager does not run from inside it or a write failed, 24 when the running
// executable's path is unknown. The executable path comes from the filesystem layer and the default
// install location from the special-path service, so both can be redirected.
int fixupMainAppKeys(const destager::DestagerOptions& options);

// Writes the install location (with a trailing separator), the four executable paths and
// "InstallSuccessful" = 1; every write is tried. True when all six succeeded.
bool updateAppRegistryKey(foundation::RegistryKey& key, const fs::Path& installLocation);

// Writes the path as REG_SZ; a failure is logged and gives false.
bool setAppKeyPath(foundation::RegistryKey& key, std::string_view name, const fs::Path& path);

}  // namespace kvx::apps
