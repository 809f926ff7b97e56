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
        p.showErrorBox = [this](const std::string& text, const std::string& title) {
            boxes.push_back(title + ":" + text);
        };
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
           "] in configuration, using production.\n\nTo switch to a different environment, update your "
           "configuration "
           "file, then restart the app and the background service.";
}

// One program start: the fake machine, the packed configuration and the store it fills.
class StaticConfiguration : public ::testing::Test {
protected:
    void process(const StaticConfigParams& params) {
        processStaticConfiguration(mConfig, *mResources, mPlatform, mEnvironment, params);
    }
    AppConfigUtil util() { return AppConfigUtil(mConfig, *mResources, mPlatform, mEnvironment); }
    long readsOf(const std::string& file) const {
        return std::count(mMachine.reads.begin(), mMachine.reads.end(), kDev + file);
    }

    FakeMachine mMachine;
    std::unique_ptr<resources::ResourceManager> mResources = layeredResources();
    const ConfigPlatform mPlatform = mMachine.platform();
    ConfigSystem mConfig;
    domain::model::EnvironmentState mEnvironment;
};

TEST_F(StaticConfiguration, LaterSourcesWinAndOverridesWinOverEverything) {
    mMachine.files[kDev + "launcher_main.cfg"] = "layer.a = launcher\nlayer.d = launcher\n";
    mMachine.files[kDev + "override.cfg"] = "layer.b = override\n";
    std::vector<std::string> events;
    mMachine.machineSettings = [&] {
        events.push_back("machine:" + mConfig.getString("layer.a", "-"));
        mConfig.set(Store::Ordinary, "machine.kept", "1", config::kScopeMachine);
    };
    process({"KorvDestager", true,
             [&](ConfigSystem& c) {
                 events.push_back("default");
                 c.set(Store::Ordinary, "layer.a", "hook", config::kScopeStatic);
             },
             [&](ConfigSystem& c) { events.push_back("extended:" + c.getString("app.mode", "")); }});

    EXPECT_EQ(events,
              (std::vector<std::string>{"default", "machine:hook", "extended:normal", "extended:normal"}));
    // The developer file is applied again after the environment, so it wins over "dev" for layer.d.
    const std::map<std::string, std::string> expected{
        {"layer.a", "launcher"}, {"layer.b", "override"}, {"layer.c", "win"},    {"layer.d", "launcher"},
        {"layer.f", "dev"},      {"machine.kept", "1"},   {"app.mode", "normal"}};
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(mConfig.getString(key, ""), value) << key;
    }
    EXPECT_EQ(mEnvironment.text, std::optional<std::string>("dev"));
    EXPECT_EQ(mEnvironment.value, domain::model::Environment::Dev);
    mConfig.clearOverrides();
    EXPECT_EQ(mConfig.getString("layer.b", ""), "app");
    // Three override loads, launcher_main twice.
    EXPECT_EQ(readsOf("override.cfg"), 3);
    EXPECT_EQ(readsOf("launcher_main.cfg"), 2);
}

TEST_F(StaticConfiguration, NotConfigurableReadsNoDeveloperConfiguration) {
    mMachine.files[kDev + "launcher_main.cfg"] = "layer.a = launcher\n";
    mMachine.files[kDev + "override.cfg"] = "layer.b = override\n";
    process({"KorvDestager", false, {}, {}});
    EXPECT_EQ(mConfig.getString("layer.a", ""), "tamrin");
    EXPECT_EQ(mConfig.getString("layer.b", ""), "app");
    EXPECT_EQ(mMachine.reads, std::vector<std::string>{kDev + ".luna"});  // the mode check only
}

TEST_F(StaticConfiguration, UnknownEnvironmentFallsBackToProductionOncePerOverrideLoad) {
    test::ScopedCapturingLogger logger;
    mResources = layeredResources("[app]\nenvironment = typo\n");
    process({"KorvDestager", true, {}, {}});

    const test::LoggedLine error{services::logging::Error, "kvx::apps::AppConfigUtil::loadOverrideConfigs",
                                 unknownEnvironmentText("typo")};
    // The third load finds the model's environment.
    EXPECT_EQ(logger->linesContaining("Unknown environment ["), (std::vector{error, error}));
    EXPECT_TRUE(mMachine.boxes.empty());
    EXPECT_EQ(mConfig.getString("app.environment", ""), "production");
    EXPECT_EQ(mConfig.getString("layer.f", ""), "production");
    EXPECT_EQ(mEnvironment.value, domain::model::Environment::Production);

    // Missing developer files are reported at INFO with the file's name.
    const auto missing =
        logger->linesContaining("Unable to open file: [T:\\dev\\override.cfg] ! no such file");
    ASSERT_EQ(missing.size(), 3u);
    EXPECT_EQ(missing[0].level, services::logging::Info);
}

TEST_F(StaticConfiguration, ClientShowsTheErrorBoxAndProfilesNeedMultipleInstances) {
    mMachine.exeName = "KorvDesktop.exe";
    mMachine.files[kDev + "override.cfg"] = "user.profile = alice\napp.environment = nowhere\n";
    mMachine.files[kDev + "override-alice.cfg"] = "from.profile = yes\n";
    AppConfigUtil configUtil = util();

    configUtil.loadOverrideConfigs(true);
    EXPECT_FALSE(mConfig.contains("from.profile"));
    EXPECT_EQ(mMachine.boxes, std::vector<std::string>{"ERROR:" + unknownEnvironmentText("nowhere")});

    mConfig.setBool(Store::Ordinary, "app.multipleInstances", true, config::kScopeStatic);
    mEnvironment.text = "dev";  // the model's environment beats the file's
    configUtil.loadOverrideConfigs(true);
    EXPECT_EQ(mConfig.getString("from.profile", ""), "yes");
    EXPECT_EQ(mConfig.getString("app.environment", ""), "dev");
    EXPECT_EQ(mMachine.boxes.size(), 1u);

    mMachine.files.erase(kDev + "override-alice.cfg");
    configUtil.loadOverrideConfigs(false);  // not configurable: the store is left alone
    EXPECT_EQ(mConfig.getString("from.profile", ""), "yes");
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
    const auto resources = layeredResources();
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
        AppConfigUtil(config, *resources, platform, environment).checkAndSetMode();
        EXPECT_EQ(config.getString("app.mode", ""), c.mode) << c.name;
    }
}

TEST_F(StaticConfiguration, BothModesRequestedAssertsAndLunaWins) {
    test::ScopedAssertCapture asserts;
    mMachine.files[kDev + ".luna"] = lunaMarker();
    mMachine.flintKey = true;
    util().checkAndSetMode();
    EXPECT_EQ(mConfig.getString("app.mode", ""), "luna");
    EXPECT_TRUE(mConfig.getBool("flags.showModalsDisabled", false));
    EXPECT_EQ(asserts.conditionsAndMessages(),
              (std::vector<std::pair<std::string, std::string>>{
                  {"!(isLunaMode && isFlintMode)", "Both mode should not be true"}}));
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

TEST_F(StaticConfiguration, LoadRccDeciphersEncFiles) {
    const auto container = resources::buildRcc({{"config/tamrin.cfg", "x = 1\n"}});
    const auto enciphered = resources::encipherRcc(container, 99);
    mMachine.files["app.rcc.enc"] = std::string(enciphered.begin(), enciphered.end());
    mMachine.files["app.rcc"] = std::string(container.begin(), container.end());
    mResources = std::make_unique<resources::ResourceManager>();
    AppConfigUtil configUtil = util();

    EXPECT_EQ(configUtil.loadRcc("app.rcc.enc").unwrap(), container);
    EXPECT_EQ(configUtil.loadRcc("app.rcc").unwrap(), container);
    EXPECT_EQ(configUtil.loadRcc("none.rcc.enc").unwrapError(),
              "Unable to open file: [none.rcc.enc] ! no such file");
    EXPECT_FALSE(
        configUtil.loadResourceConfig(":/config/tamrin.cfg"));  // nothing added yet: silently skipped
    EXPECT_TRUE(mConfig.filterByScope(config::kScopeStatic).empty());
}

}  // namespace
}  // namespace kvx::apps
