#pragma once
// The rule the program's own command line must follow.

#include <string_view>

namespace kvx::services::process {

// Compiled once, on first use.
bool matchesCommandLinePattern(std::string_view commandLine);

}  // namespace kvx::services::process
