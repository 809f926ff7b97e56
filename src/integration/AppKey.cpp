#include "integration/AppKey.h"

namespace kvx::apps {

foundation::RegistryKey openAppKey(bool create, bool view64) {
    return foundation::RegistryKey(HKEY_LOCAL_MACHINE, kAppKeyPath, view64, create);
}

}  // namespace kvx::apps
