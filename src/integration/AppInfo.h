#pragma once
// The start-up banner: which program, how configured, which version, started how and from where.

#include <string_view>

namespace kvx::apps::utils {

inline constexpr const char* kBuildType = "opt";

// Four INFO lines: "[STARTUP] ...", "Version: ...", "Command line: [...]", "Canonical path: [...]".
void logAppInfo(const char* const* argv, int argc, std::string_view appName);

}  // namespace kvx::apps::utils
