#pragma once
// Test and QA redirections of special directories: a registered path replaces the system's answer.

#include <map>
#include <optional>
#include <string>

#include "foundation/paths/SpecialDirectory.h"

namespace kvx::foundation {

// Replaces every earlier redirection with `redirections` (an empty map removes them all).
void setSpecialDirectoryRedirections(std::map<SpecialDirectory, std::string> redirections);
std::optional<std::string> specialDirectoryRedirection(SpecialDirectory directory);

}  // namespace kvx::foundation
