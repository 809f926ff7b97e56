#include "framework/config/StaticConfiguration.h"

#include <fmt/format.h>

#include "foundation/Logging.h"

namespace kvx::apps {
namespace {

constexpr const char* kPlatformName = "win";
constexpr const char* kStaticConfiguration = "kvx::apps::processStaticConfiguration";

}  // namespace

void processStaticConfiguration(config::ConfigSystem& config, const resources::ResourceManager& resources,
                                const ConfigPlatform& platform, domain::model::EnvironmentState& environment,
                                const StaticConfigParams& params) {
    AppConfigUtil util(config, resources, platform, environment);
    auto loadLauncherMain = [&] {
        if (params.configurable) {
            auto loaded = util.loadPlainConfig(util.developerFile("launcher_main.cfg"), false, config::kScopeStatic);
            if (loaded.isError()) {
                KVX_LOG_AS(kStaticConfiguration, services::logging::Info, "{}", loaded.peekError());
            }
        }
    };

    if (params.defaultConfigHook) {
        params.defaultConfigHook(config);
    }
    if (platform.loadMachineSettings) {
        platform.loadMachineSettings();
    }
    util.loadResourceConfig(":/config/tamrin.cfg");
    loadLauncherMain();
    util.loadResourceConfig(fmt::format(":/config/{}.cfg", params.appName));
    util.loadOverrideConfigs(params.configurable);
    util.checkAndSetMode();
    if (params.extendedConfigHook) {
        params.extendedConfigHook(config);
    }
    util.loadOverrideConfigs(params.configurable);
    util.loadResourceConfig(fmt::format(":/config/platform/{}.cfg", kPlatformName));

    const auto parsed = domain::model::parseEnvironment(config.getString("app.environment", ""));
    const std::string environmentText = domain::model::toString(parsed);
    util.loadResourceConfig(fmt::format(":/config/env/{}.cfg", environmentText));
    environment.text = environmentText;
    environment.value = parsed;

    loadLauncherMain();
    util.loadOverrideConfigs(params.configurable);
    if (params.extendedConfigHook) {
        params.extendedConfigHook(config);
    }
    // The setting is read so it shows up as known; this program never dumps its configuration.
    (void)config.getBool("qa.dumpConfig", false);
}

bool ConfigurableFlag::decide(const ConfigPlatform& platform) {
    std::call_once(mOnce, [&] {
        const bool trusted = platform.developerCertificateTrusted && platform.developerCertificateTrusted();
        const bool optedOut = platform.fileExists && platform.fileExists(platform.developerFolder + "override.off");
        mValue = trusted && !optedOut;
    });
    return mValue;
}

bool ConfigurableFlag::value() const { return mValue; }

ConfigurableFlag& processConfigurable() {
    static ConfigurableFlag flag;
    return flag;
}

}  // namespace kvx::apps
