#include "framework/settings/SpecialDirectoryConfig.h"

#include <map>

#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "framework/config/ConfigSystem.h"

namespace kvx::foundation {

void registerSpecialDirectoryRedirections() {
    const config::ConfigSystem& config = config::configSystem();
    std::map<SpecialDirectory, std::string> redirections;
    for (uint32_t value = 0; value < kSpecialDirectoryCount; ++value) {
        const auto directory = static_cast<SpecialDirectory>(value);
        const auto key = specialDirectoryConfigKey(directory);
        if (!key) {
            continue;
        }
        std::string path = config.getString(*key, "");
        if (!path.empty()) {
            redirections.emplace(directory, std::move(path));
        }
    }
    setSpecialDirectoryRedirections(std::move(redirections));
}

}  // namespace kvx::foundation
