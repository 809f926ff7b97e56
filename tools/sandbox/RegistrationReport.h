#pragma once
// The suite's registration with Windows as a sandbox report shows it: availability, protocol
// commands, uninstall strings and versions, the service's configuration and the update-in-progress
// event. One item a line, the name padded to a fixed width, so two reports read side by side.

#include <string>

#include "SandboxLayout.h"

namespace kvx::sandbox {

inline constexpr size_t kRegistrationNameWidth = 34;

// Paths in the client folder are written "<client>\...", others below the install root "<install>\...".
std::string formatRegistration(const SandboxLayout& layout);

// `value` with those two abbreviations and the nine forwarded parameters written "%1" ... "%9".
std::string abbreviated(std::string value, const SandboxLayout& layout);

}  // namespace kvx::sandbox
