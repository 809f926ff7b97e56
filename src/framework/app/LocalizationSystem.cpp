#include "framework/app/LocalizationSystem.h"

namespace kvx::services::platform {

bool LocalizationSystem::loadLocale(std::string_view locale) {
    if (locale.empty()) {
        return false;
    }
    std::lock_guard lock(mMutex);
    mLocale = std::string(locale);
    return true;
}

std::string LocalizationSystem::locale() const {
    std::lock_guard lock(mMutex);
    return mLocale;
}

}  // namespace kvx::services::platform
