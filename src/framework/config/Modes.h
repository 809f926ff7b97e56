#pragma once
// Application modes: normal, Luna (the unattended kiosk-style client) and Flint.

#include <string>

#include "framework/config/ConfigSystem.h"

namespace kvx::services::settings {

inline constexpr const char* kModeNormal = "normal";
inline constexpr const char* kModeLuna = "luna";
inline constexpr const char* kModeFlint = "flint";

// "app.mode"; an empty mode is logged, because something read it before start-up chose one.
std::string getMode(const config::ConfigSystem& config = config::configSystem());

void setNormalMode(config::ConfigSystem& config = config::configSystem());
// Also switches off everything interactive and pins the locale (see Modes.cpp).
void setLunaMode(config::ConfigSystem& config = config::configSystem());
void setFlintMode(config::ConfigSystem& config = config::configSystem());

// "en_US" -> "en-US": the language settings take the tag form of a locale name.
std::string localeToLanguage(const std::string& locale);

}  // namespace kvx::services::settings
