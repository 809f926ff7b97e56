#pragma once
// Start-up configuration: every configuration source applied once, in a fixed order, so that later
// sources win key by key and the developer override files win over everything.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "framework/config/AppConfigUtil.h"

namespace kvx::apps {

struct StaticConfigParams {
    std::string appName;  // names ":/config/{}.cfg"
    bool configurable = false;
    std::function<void(config::ConfigSystem&)> defaultConfigHook;
    std::function<void(config::ConfigSystem&)> extendedConfigHook;
};

void processStaticConfiguration(config::ConfigSystem& config, const resources::ResourceManager& resources,
                                const ConfigPlatform& platform, domain::model::EnvironmentState& environment,
                                const StaticConfigParams& params);

// Whether this process honours developer files: the machine trusts the developer certificate and
// "override.off" is absent. Decided once; later calls return the first answer.
class ConfigurableFlag {
public:
    bool decide(const ConfigPlatform& platform);
    bool value() const;

private:
    std::once_flag mOnce;
    std::atomic<bool> mValue{false};
};

// The process's flag, reported in the start-up line.
ConfigurableFlag& processConfigurable();

}  // namespace kvx::apps
