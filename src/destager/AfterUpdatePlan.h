#pragma once
// What the run does once the update has been attempted: repair, relaunch and counter reset follow
// from the result, the action and the loop check alone.

#include <cstdint>
#include <optional>
#include <string>

#include "foundation/update/DestagerOptions.h"

namespace kvx::apps::destager {

struct AfterUpdatePlan {
    bool repairProtocolsAndAvailability = false;
    bool relaunch = false;
    // "machine.updateAttemptCount" and the correlation id are cleared only after a clean success.
    bool resetAttemptTracking = false;
    // Logged instead of repairing and relaunching when a loop was detected.
    std::optional<std::string> loopWarning;
};

AfterUpdatePlan planAfterUpdate(int32_t result, Action action, bool loopDetected);

}  // namespace kvx::apps::destager
