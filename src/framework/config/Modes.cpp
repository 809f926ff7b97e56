#include "framework/config/Modes.h"

#include <array>
#include <string_view>

#include <fmt/format.h>

#include "foundation/Logging.h"

namespace kvx::services::settings {
namespace {

using config::ConfigSystem;
using config::kScopeStatic;
using config::Store;

// Catalogue titles whose overlay must stay out of the way on Luna machines. Configuration data:
// changing the list changes behaviour only for these titles.
constexpr std::array<std::string_view, 3> kLunaOverlayTitles{"101562", "104218", "110937"};

constexpr std::array<std::string_view, 15> kLunaSwitchesOn{
    "app.silentStart.enabled",
    "app.silentStart.inProgress",
    "flags.hardwareSurveyDisabled",
    "flags.showModalsDisabled",
    "flags.ignoreAuthError",
    "app.serviceStopTimeoutForceTerminate",
    "flags.ignoreLocalStateWithoutHistory",
    "qa.disableGameUpdates",
    "qa.disableAppUpdates",
    "qa.shutDownAppAfterGameClosed",
    "flags.reconnectAfterGoingOffline",
    "flags.cloudsyncOffline",
    "flags.socialDisableForce",
    "flags.disableInternetCheck",
    "app.enableCorruptionDetection",
};

void setMode(ConfigSystem& config, const char* mode) {
    KVX_LOG_INFO("Setting mode to: [{}]", mode);
    config.set(Store::Ordinary, "app.mode", mode, kScopeStatic);
}

}  // namespace

std::string getMode(const ConfigSystem& config) {
    std::string mode = config.getString("app.mode", "");
    if (mode.empty()) {
        KVX_LOG_WARN("Mode accessed before set");
    }
    return mode;
}

void setNormalMode(ConfigSystem& config) { setMode(config, kModeNormal); }

void setFlintMode(ConfigSystem& config) { setMode(config, kModeFlint); }

void setLunaMode(ConfigSystem& config) {
    setMode(config, kModeLuna);
    for (std::string_view key : kLunaSwitchesOn) {
        config.setBool(Store::Ordinary, key, true, kScopeStatic);
    }
    config.setUInt64(Store::Ordinary, "app.serviceStopTimeoutInSeconds", 60, kScopeStatic);
    config.setUInt64(Store::Ordinary, "app.refreshContentAfterExternalEntitlementDelay", 2000, kScopeStatic);
    for (std::string_view title : kLunaOverlayTitles) {
        config.setBool(Store::Ordinary, fmt::format("overlay.deny.{}.home", title), true, kScopeStatic);
        config.setBool(Store::Ordinary, fmt::format("overlay.deny.{}.invites", title), true, kScopeStatic);
        const std::string injection = fmt::format("title.{}.requiresLegacyOverlayInjection", title);
        config.setBool(Store::Ordinary, injection, config.getBool(injection, true), kScopeStatic);
    }

    const bool forced = config.getBool("qa.forceLunaMode", false);
    const std::string locale = config.getString("qa.forceLunaLocale", forced ? "en_US" : "");
    if (!locale.empty()) {
        config.set(Store::Ordinary, "lunaLocale", locale, kScopeStatic);
        const std::string language = localeToLanguage(locale);
        config.set(Store::Ordinary, "location.language", language, kScopeStatic);
        config.set(Store::Ordinary, "app.user.language", language, kScopeStatic);
    }
}

std::string localeToLanguage(const std::string& locale) {
    std::string language = locale;
    for (char& c : language) {
        if (c == '_') {
            c = '-';
        }
    }
    return language;
}

}  // namespace kvx::services::settings
