#include "foundation/registry/RegistryKey.h"
#include "framework/config/WindowsConfigPlatform.h"

namespace kvx::apps {

bool readFlintModeFromRegistry() {
    const foundation::RegistryKey appKey(HKEY_LOCAL_MACHINE, "Software\\Tessory\\Korv Desktop", true, false);
    return appKey.isValid() && appKey.get<uint32_t>("FlintMode") != 0;
}

}  // namespace kvx::apps
