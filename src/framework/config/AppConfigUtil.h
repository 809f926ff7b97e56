#pragma once
// Loading configuration files into the store: built-in resources, developer files, the override
// files, the application mode and the resource container itself.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Result.h"
#include "framework/config/ConfigPlatform.h"
#include "framework/config/ConfigSystem.h"
#include "framework/config/Environment.h"
#include "framework/config/ResourceManager.h"

namespace kvx::apps {

// The 16 bytes a developer's ".luna" file must hold to request Luna mode.
std::string lunaMarker();

class AppConfigUtil {
public:
    AppConfigUtil(config::ConfigSystem& config, const resources::ResourceManager& resources,
                  const ConfigPlatform& platform, domain::model::EnvironmentState& environment)
        : mConfig(config), mResources(resources), mPlatform(platform), mEnvironment(environment) {}

    // A missing resource is no error: nothing happens. Returns whether the resource existed.
    bool loadResourceConfig(std::string_view resourcePath);
    // "Unable to open file: [{}] ! {}" when the file cannot be read; the caller logs it.
    Result<void, std::string> loadPlainConfig(const std::string& path, bool toOverrideStore, config::ConfigScope scope);
    // Refills the override store from the developer files; does nothing unless configurable.
    void loadOverrideConfigs(bool configurable);
    // Luna, Flint or normal mode, from the developer marker, the qa switches and the machine.
    void checkAndSetMode();
    // Reads a container file; a name ending in ".enc" is deciphered. The result is a plain
    // container for ResourceManager::addRccData.
    Result<std::vector<uint8_t>, std::string> loadRcc(const std::string& path);

    std::string developerFile(std::string_view name) const;

private:
    void loadDeveloperConfig(std::string_view name, bool toOverrideStore, std::string_view logFunction);

    config::ConfigSystem& mConfig;
    const resources::ResourceManager& mResources;
    const ConfigPlatform& mPlatform;
    domain::model::EnvironmentState& mEnvironment;
};

}  // namespace kvx::apps
