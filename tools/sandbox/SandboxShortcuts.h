#pragma once
// The suite's shortcuts as a sandbox install sees them: on the all-users desktop, in the start
// menu's "Korv" folder and the recovery shortcut inside the client folder.

#include <string>

#include "SandboxLayout.h"

namespace kvx::sandbox {

// One line per shortcut with what it starts; the missing ones say so.
std::string formatShortcuts(const SandboxLayout& layout);

// The desktop and start-menu shortcuts a run made (the prefix is shared by every sandbox).
void removeSuiteShortcuts();

}  // namespace kvx::sandbox
