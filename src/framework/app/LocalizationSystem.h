#pragma once
// The localisation system: the locale whose texts the program shows. The destager shows no text of
// its own, so it only ever loads "en-US".

#include <mutex>
#include <string>
#include <string_view>

namespace kvx::services::platform {

class LocalizationSystem {
public:
    // An empty name is refused (false) and the current locale stays.
    bool loadLocale(std::string_view locale);
    std::string locale() const;

private:
    mutable std::mutex mMutex;
    std::string mLocale;
};

}  // namespace kvx::services::platform
