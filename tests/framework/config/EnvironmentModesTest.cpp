#include <gtest/gtest.h>

#include "framework/config/Environment.h"
#include "framework/config/Modes.h"
#include "support/Capture.h"

namespace kvx {
namespace {

using config::ConfigSystem;
using config::Store;
using domain::model::Environment;

TEST(Environment, TableBothWays) {
    EXPECT_EQ(domain::model::parseEnvironment(""), Environment::Production);
    const std::pair<const char*, Environment> table[] = {{"production", Environment::Production},
                                                         {"preview", Environment::Preview},
                                                         {"integration", Environment::Integration},
                                                         {"dev", Environment::Dev},
                                                         {"load", Environment::Load}};
    for (const auto& [text, value] : table) {
        EXPECT_EQ(domain::model::parseEnvironment(text), value);
        EXPECT_EQ(domain::model::toString(value), text);
    }
}

TEST(Environment, UnknownValuesAreAsserted) {
    test::ScopedAssertCapture asserts;
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
    EXPECT_EQ(services::settings::getMode(config), "");
    ASSERT_EQ(logger->linesContaining("Mode accessed before set").size(), 1u);
    EXPECT_EQ(logger->lines()[0].level, services::logging::Warn);

    services::settings::setFlintMode(config);
    EXPECT_EQ(services::settings::getMode(config), "flint");
    services::settings::setNormalMode(config);
    EXPECT_EQ(services::settings::getMode(config), "normal");
    EXPECT_EQ(logger->linesContaining("Setting mode to: [normal]").size(), 1u);
    EXPECT_EQ(logger->linesContaining("Mode accessed before set").size(), 1u);
}

TEST(Modes, LunaSetsItsWholeTable) {
    ConfigSystem config;
    config.setBool(Store::Ordinary, "title.104218.requiresLegacyOverlayInjection", false, config::kScopeStatic);
    services::settings::setLunaMode(config);

    EXPECT_EQ(config.getString("app.mode", ""), "luna");
    for (const char* key :
         {"app.silentStart.enabled", "app.silentStart.inProgress", "flags.hardwareSurveyDisabled",
          "flags.showModalsDisabled", "flags.ignoreAuthError", "app.serviceStopTimeoutForceTerminate",
          "flags.ignoreLocalStateWithoutHistory", "qa.disableGameUpdates", "qa.disableAppUpdates",
          "qa.shutDownAppAfterGameClosed", "flags.reconnectAfterGoingOffline", "flags.cloudsyncOffline",
          "flags.socialDisableForce", "flags.disableInternetCheck", "app.enableCorruptionDetection"}) {
        EXPECT_EQ(config.getString(key, ""), "1") << key;
    }
    EXPECT_EQ(config.getUInt64("app.serviceStopTimeoutInSeconds", 300), 60u);
    EXPECT_EQ(config.getUInt32("app.refreshContentAfterExternalEntitlementDelay", 0), 2000u);
    for (const char* title : {"101562", "104218", "110937"}) {
        EXPECT_TRUE(config.getBool(std::string("overlay.deny.") + title + ".home", false)) << title;
        EXPECT_TRUE(config.getBool(std::string("overlay.deny.") + title + ".invites", false)) << title;
    }
    EXPECT_TRUE(config.getBool("title.101562.requiresLegacyOverlayInjection", false));
    EXPECT_FALSE(config.getBool("title.104218.requiresLegacyOverlayInjection", true));  // kept
    // Not forced and no locale configured: the language stays untouched.
    EXPECT_FALSE(config.contains("lunaLocale"));
    EXPECT_FALSE(config.contains("location.language"));
}

TEST(Modes, LunaLocaleDefaultsOnlyWhenForced) {
    ConfigSystem forced;
    forced.setBool(Store::Ordinary, "qa.forceLunaMode", true, config::kScopeStatic);
    services::settings::setLunaMode(forced);
    EXPECT_EQ(forced.getString("lunaLocale", ""), "en_US");
    EXPECT_EQ(forced.getString("location.language", ""), "en-US");
    EXPECT_EQ(forced.getString("app.user.language", ""), "en-US");

    ConfigSystem chosen;
    chosen.set(Store::Ordinary, "qa.forceLunaLocale", "de_DE", config::kScopeStatic);
    services::settings::setLunaMode(chosen);
    EXPECT_EQ(chosen.getString("lunaLocale", ""), "de_DE");
    EXPECT_EQ(chosen.getString("app.user.language", ""), "de-DE");
}

}  // namespace
}  // namespace kvx
