#include <gtest/gtest.h>

#include "framework/config/Environment.h"
#include "framework/config/Modes.h"
#include "support/Capture.h"

namespace kvx {
namespace {

using config::ConfigSystem;
using config::Store;
using domain::model::Environment;
using namespace services::settings;

TEST(Environment, NamesBothWaysAndUnknownValuesAsserted) {
    test::ScopedAssertCapture asserts;
    const std::pair<const char*, Environment> table[] = {{"production", Environment::Production},
                                                         {"preview", Environment::Preview},
                                                         {"integration", Environment::Integration},
                                                         {"dev", Environment::Dev},
                                                         {"load", Environment::Load}};
    for (const auto& [text, value] : table) {
        EXPECT_EQ(domain::model::parseEnvironment(text), value);
        EXPECT_EQ(domain::model::toString(value), text);
    }
    EXPECT_EQ(domain::model::parseEnvironment(""), Environment::Production);
    EXPECT_TRUE(asserts.asserts().empty());
    EXPECT_EQ(domain::model::parseEnvironment("Dev"), Environment::Production);
    EXPECT_EQ(domain::model::toString(static_cast<Environment>(9)), "production");
    EXPECT_EQ(asserts.conditionsAndMessages(),
              (std::vector<std::pair<std::string, std::string>>{
                  {"kUnconditionalAssert", "Unknown environment value [Dev]"},
                  {"kUnconditionalAssert", "Invalid Environment value [9]"}}));
}

TEST(Modes, GetModeWarnsWhileUnset) {
    test::ScopedCapturingLogger logger;
    ConfigSystem config;
    EXPECT_EQ(getMode(config), "");
    setFlintMode(config);
    EXPECT_EQ(getMode(config), "flint");
    setNormalMode(config);
    EXPECT_EQ(getMode(config), "normal");
    EXPECT_EQ(logger->linesContaining("Setting mode to: [normal]").size(), 1u);
    const auto warnings = logger->linesContaining("Mode accessed before set");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].level, services::logging::Warn);
}

TEST(Modes, LunaSetsItsWholeTable) {
    ConfigSystem config;
    config.setBool(Store::Ordinary, "title.104218.requiresLegacyOverlayInjection", false,
                   config::kScopeStatic);
    setLunaMode(config);
    EXPECT_EQ(config.getString("app.mode", ""), "luna");
    for (const char* key :
         {"app.silentStart.enabled", "app.silentStart.inProgress", "flags.hardwareSurveyDisabled",
          "flags.showModalsDisabled", "flags.ignoreAuthError", "app.serviceStopTimeoutForceTerminate",
          "flags.ignoreLocalStateWithoutHistory", "qa.disableGameUpdates", "qa.disableAppUpdates",
          "qa.shutDownAppAfterGameClosed", "flags.reconnectAfterGoingOffline", "flags.cloudsyncOffline",
          "flags.socialDisableForce", "flags.disableInternetCheck", "app.enableCorruptionDetection"}) {
        EXPECT_EQ(config.getString(key, ""), "1") << key;
    }
    for (const char* key :
         {"overlay.deny.101562.home", "overlay.deny.101562.invites", "overlay.deny.104218.home",
          "overlay.deny.104218.invites", "overlay.deny.110937.home", "overlay.deny.110937.invites",
          "title.101562.requiresLegacyOverlayInjection"}) {
        EXPECT_TRUE(config.getBool(key, false)) << key;
    }
    EXPECT_EQ(config.getUInt64("app.serviceStopTimeoutInSeconds", 300), 60u);
    EXPECT_EQ(config.getUInt32("app.refreshContentAfterExternalEntitlementDelay", 0), 2000u);
    EXPECT_FALSE(config.getBool("title.104218.requiresLegacyOverlayInjection", true));  // kept
    // Not forced and no locale configured: the language stays untouched.
    EXPECT_FALSE(config.contains("lunaLocale"));
    EXPECT_FALSE(config.contains("location.language"));
}

TEST(Modes, LunaLocaleDefaultsOnlyWhenForced) {
    const std::tuple<const char*, const char*, const char*, const char*> rows[] = {
        {"qa.forceLunaMode", "1", "en_US", "en-US"}, {"qa.forceLunaLocale", "de_DE", "de_DE", "de-DE"}};
    for (const auto& [key, value, locale, language] : rows) {
        SCOPED_TRACE(key);
        ConfigSystem config;
        config.set(Store::Ordinary, key, value, config::kScopeStatic);
        setLunaMode(config);
        EXPECT_EQ(config.getString("lunaLocale", ""), locale);
        EXPECT_EQ(config.getString("app.user.language", ""), language);
        if (*value == '1') {
            EXPECT_EQ(config.getString("location.language", ""), language);
        }
    }
}

}  // namespace
}  // namespace kvx
