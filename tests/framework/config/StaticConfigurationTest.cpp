#include "framework/config/StaticConfiguration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

#include "framework/config/RccContainer.h"
#include "support/Capture.h"

namespace kvx::apps {
namespace {

using config::ConfigSystem;
using config::Store;

const std::string kDev = "T:\\dev\\";

// Developer files in memory; every read is recorded.
struct FakeMachine {
    std::map<std::string, std::string> files;
    std::vector<std::string> reads;
    std::vector<std::string> boxes;
    std::string exeName = "KorvDestager.exe";
    bool flintKey = false;
    bool trusted = true;
    std::function<void()> machineSettings;

    ConfigPlatform platform() {
        ConfigPlatform p;
        p.developerFolder = kDev;
        p.readFile = [this](const std::string& path) -> Result<std::string, std::string> {
            reads.push_back(path);
            auto it = files.find(path);
            if (it == files.end()) {
                return Err{std::string("no such file")};
            }
            return Ok{it->second};
        };
        p.fileExists = [this](const std::string& path) { return files.count(path) != 0; };
        p.executableName = [this] { return exeName; };
        p.showErrorBox = [this](const std::string& text, const std::string& title) { boxes.push_back(title + ":" + text); };
        p.flintModeRequestedByMachine = [this] { return flintKey; };
        p.loadMachineSettings = [this] {
            if (machineSettings) {
                machineSettings();
            }
        };
        p.developerCertificateTrusted = [this] { return trusted; };
        return p;
    }
};

std::unique_ptr<resources::ResourceManager> layeredResources(
    const std::string& tamrinExtra = "[app]\nenvironment = dev\n") {
    auto resources = std::make_unique<resources::ResourceManager>();
    const auto container = resources::buildRcc({
        {"config/tamrin.cfg", "[layer]\na = tamrin\nb = tamrin\nc = tamrin\nd = tamrin\n" + tamrinExtra},
        {"config/KorvDestager.cfg", "layer.b = app\nlayer.c = app\nlayer.d = app\n"},
        {"config/platform/win.cfg", "layer.c = win\nlayer.d = win\n"},
        {"config/env/dev.cfg", "layer.d = dev\nlayer.f = dev\n"},
        {"config/env/production.cfg", "layer.f = production\n"},
    });
    EXPECT_TRUE(resources->addRccData(container).isOk());
    return resources;
}

std::string unknownEnvironmentText(const std::string& environment) {
    return "Unknown environment [" + environment +
           "] in configuration, using production.\n\nTo switch to a different environment, update your configuration "
           "file, then restart the app and the background service.";
}

TEST(StaticConfiguration, LaterSourcesWinAndOverridesWinOverEverything) {
    FakeMachine machine;
    machine.files[kDev + "launcher_main.cfg"] = "layer.a = launcher\nlayer.d = launcher\n";
    machine.files[kDev + "override.cfg"] = "layer.b = override\n";
    const auto resourcesOwner = layeredResources();
    const auto& resources = *resourcesOwner;
    const auto platform = machine.platform();
    ConfigSystem config;
    domain::model::EnvironmentState environment;

    std::vector<std::string> events;
    machine.machineSettings = [&] {
        events.push_back("machine:" + config.getString("layer.a", "-"));
        config.set(Store::Ordinary, "machine.kept", "1", config::kScopeMachine);
    };
    StaticConfigParams params{"KorvDestager", true,
                              [&](ConfigSystem& c) {
                                  events.push_back("default");
                                  c.set(Store::Ordinary, "layer.a", "hook", config::kScopeStatic);
                              },
                              [&](ConfigSystem& c) { events.push_back("extended:" + c.getString("app.mode", "")); }};
    processStaticConfiguration(config, resources, platform, environment, params);

    EXPECT_EQ(events, (std::vector<std::string>{"default", "machine:hook", "extended:normal", "extended:normal"}));
    EXPECT_EQ(config.getString("layer.a", ""), "launcher");
    EXPECT_EQ(config.getString("layer.b", ""), "override");
    EXPECT_EQ(config.getString("layer.c", ""), "win");
    EXPECT_EQ(config.getString("layer.d", ""), "launcher");  // the developer file is applied again after the environment
    EXPECT_EQ(config.getString("layer.f", ""), "dev");
    EXPECT_EQ(config.getString("machine.kept", ""), "1");
    EXPECT_EQ(config.getString("app.mode", ""), "normal");
    EXPECT_EQ(environment.text, std::optional<std::string>("dev"));
    EXPECT_EQ(environment.value, domain::model::Environment::Dev);
    config.clearOverrides();
    EXPECT_EQ(config.getString("layer.b", ""), "app");

    // Three override loads, launcher_main twice.
    EXPECT_EQ(std::count(machine.reads.begin(), machine.reads.end(), kDev + "override.cfg"), 3);
    EXPECT_EQ(std::count(machine.reads.begin(), machine.reads.end(), kDev + "launcher_main.cfg"), 2);
}

TEST(StaticConfiguration, NotConfigurableReadsNoDeveloperConfiguration) {
    FakeMachine machine;
    machine.files[kDev + "launcher_main.cfg"] = "layer.a = launcher\n";
    machine.files[kDev + "override.cfg"] = "layer.b = override\n";
    const auto resourcesOwner = layeredResources();
    const auto& resources = *resourcesOwner;
    const auto platform = machine.platform();
    ConfigSystem config;
    domain::model::EnvironmentState environment;
    processStaticConfiguration(config, resources, platform, environment, {"KorvDestager", false, {}, {}});

    EXPECT_EQ(config.getString("layer.a", ""), "tamrin");
    EXPECT_EQ(config.getString("layer.b", ""), "app");
    EXPECT_EQ(machine.reads, std::vector<std::string>{kDev + ".luna"});  // the mode check only
}

TEST(StaticConfiguration, UnknownEnvironmentFallsBackToProductionOncePerOverrideLoad) {
    test::ScopedCapturingLogger logger;
    FakeMachine machine;
    const auto resourcesOwner = layeredResources("[app]\nenvironment = typo\n");
    const auto& resources = *resourcesOwner;
    const auto platform = machine.platform();
    ConfigSystem config;
    domain::model::EnvironmentState environment;
    processStaticConfiguration(config, resources, platform, environment, {"KorvDestager", true, {}, {}});

    const auto errors = logger->linesContaining("Unknown environment [");
    ASSERT_EQ(errors.size(), 2u);  // the third load finds the model's environment
    EXPECT_EQ(errors[0].level, services::logging::Error);
    EXPECT_EQ(errors[0].function, "kvx::apps::AppConfigUtil::loadOverrideConfigs");
    EXPECT_EQ(errors[0].message, unknownEnvironmentText("typo"));
    EXPECT_TRUE(machine.boxes.empty());
    EXPECT_EQ(config.getString("app.environment", ""), "production");
    EXPECT_EQ(config.getString("layer.f", ""), "production");
    EXPECT_EQ(environment.value, domain::model::Environment::Production);

    // Missing developer files are reported at INFO with the file's name.
    const auto missing = logger->linesContaining("Unable to open file: [T:\\dev\\override.cfg] ! no such file");
    ASSERT_EQ(missing.size(), 3u);
    EXPECT_EQ(missing[0].level, services::logging::Info);
}

TEST(OverrideConfigs, ClientShowsTheErrorBoxAndProfilesNeedMultipleInstances) {
    FakeMachine machine;
    machine.exeName = "KorvDesktop.exe";
    machine.files[kDev + "override.cfg"] = "user.profile = alice\napp.environment = nowhere\n";
    machine.files[kDev + "override-alice.cfg"] = "from.profile = yes\n";
    const auto resourcesOwner = layeredResources();
    const auto& resources = *resourcesOwner;
    const auto platform = machine.platform();
    ConfigSystem config;
    domain::model::EnvironmentState environment;
    AppConfigUtil util(config, resources, platform, environment);

    util.loadOverrideConfigs(true);
    EXPECT_FALSE(config.contains("from.profile"));
    ASSERT_EQ(machine.boxes.size(), 1u);
    EXPECT_EQ(machine.boxes[0], "ERROR:" + unknownEnvironmentText("nowhere"));

    config.setBool(Store::Ordinary, "app.multipleInstances", true, config::kScopeStatic);
    environment.text = "dev";  // the model's environment beats the file's
    util.loadOverrideConfigs(true);
    EXPECT_EQ(config.getString("from.profile", ""), "yes");
    EXPECT_EQ(config.getString("app.environment", ""), "dev");
    EXPECT_EQ(machine.boxes.size(), 1u);

    machine.files.erase(kDev + "override-alice.cfg");
    util.loadOverrideConfigs(false);  // not configurable: the store is left alone
    EXPECT_EQ(config.getString("from.profile", ""), "yes");
}

TEST(ApplicationMode, SourcesOfLunaAndFlint) {
    struct Case {
        const char* name;
        std::string lunaFile;  // empty: no file
        bool forceLuna, forceFlint, flintKey;
        const char* mode;
    };
    const Case cases[] = {
        {"nothing", "", false, false, false, "normal"},
        {"marker", lunaMarker(), false, false, false, "luna"},
        {"wrong marker", std::string(16, 'x'), false, false, false, "normal"},
        {"marker plus newline", lunaMarker() + "\n", false, false, false, "normal"},
        {"forced luna", "", true, false, false, "luna"},
        {"forced flint", "", false, true, false, "flint"},
        {"registry flint", "", false, false, true, "flint"},
    };
    const auto resourcesOwner = layeredResources();
    const auto& resources = *resourcesOwner;
    for (const Case& c : cases) {
        FakeMachine machine;
        if (!c.lunaFile.empty()) {
            machine.files[kDev + ".luna"] = c.lunaFile;
        }
        machine.flintKey = c.flintKey;
        const auto platform = machine.platform();
        ConfigSystem config;
        config.setBool(Store::Ordinary, "qa.forceLunaMode", c.forceLuna, config::kScopeStatic);
        config.setBool(Store::Ordinary, "qa.forceFlintMode", c.forceFlint, config::kScopeStatic);
        domain::model::EnvironmentState environment;
        AppConfigUtil(config, resources, platform, environment).checkAndSetMode();
        EXPECT_EQ(config.getString("app.mode", ""), c.mode) << c.name;
    }
    EXPECT_EQ(lunaMarker().size(), 16u);
}

TEST(ApplicationMode, BothRequestedAssertsAndLunaWins) {
    test::ScopedAssertCapture asserts;
    FakeMachine machine;
    machine.files[kDev + ".luna"] = lunaMarker();
    machine.flintKey = true;
    const auto resourcesOwner = layeredResources();
    const auto& resources = *resourcesOwner;
    const auto platform = machine.platform();
    ConfigSystem config;
    domain::model::EnvironmentState environment;
    AppConfigUtil(config, resources, platform, environment).checkAndSetMode();
    EXPECT_EQ(config.getString("app.mode", ""), "luna");
    EXPECT_TRUE(config.getBool("flags.showModalsDisabled", false));
    ASSERT_EQ(asserts.asserts().size(), 1u);
    EXPECT_EQ(asserts.asserts()[0].condition, "!(isLunaMode && isFlintMode)");
    EXPECT_EQ(asserts.asserts()[0].message, "Both mode should not be true");
}

TEST(ConfigurableProcess, DecidedOnceFromCertificateAndOptOut) {
    FakeMachine machine;
    ConfigurableFlag trusted;
    EXPECT_TRUE(trusted.decide(machine.platform()));
    machine.trusted = false;
    EXPECT_TRUE(trusted.decide(machine.platform()));  // never changes
    EXPECT_TRUE(trusted.value());

    ConfigurableFlag untrusted;
    EXPECT_FALSE(untrusted.decide(machine.platform()));

    machine.trusted = true;
    machine.files[kDev + "override.off"] = "";
    ConfigurableFlag optedOut;
    EXPECT_FALSE(optedOut.decide(machine.platform()));

    ConfigurableFlag inert;
    EXPECT_FALSE(inert.decide(ConfigPlatform{}));  // nothing known about the machine: not configurable
}

TEST(ResourceFile, LoadRccDeciphersEncFiles) {
    FakeMachine machine;
    const auto container = resources::buildRcc({{"config/tamrin.cfg", "x = 1\n"}});
    const auto enciphered = resources::encipherRcc(container, 99);
    machine.files["app.rcc.enc"] = std::string(enciphered.begin(), enciphered.end());
    machine.files["app.rcc"] = std::string(container.begin(), container.end());
    const auto platform = machine.platform();
    ConfigSystem config;
    resources::ResourceManager resources;
    domain::model::EnvironmentState environment;
    AppConfigUtil util(config, resources, platform, environment);

    EXPECT_EQ(util.loadRcc("app.rcc.enc").unwrap(), container);
    EXPECT_EQ(util.loadRcc("app.rcc").unwrap(), container);
    EXPECT_EQ(util.loadRcc("none.rcc.enc").unwrapError(), "Unable to open file: [none.rcc.enc] ! no such file");
    EXPECT_FALSE(util.loadResourceConfig(":/config/tamrin.cfg"));  // nothing added yet: silently skipped
    EXPECT_TRUE(config.filterByScope(config::kScopeStatic).empty());
}

}  // namespace
}  // namespace kvx::apps
