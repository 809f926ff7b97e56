#pragma once
// What belongs to the suite: its known executable names, what lies in its install folder, and the
// record of what stopping it achieved.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

namespace kvx::apps::suite {

// 0: leave the background service alone, own name on the list; 1: stop the service, own name on
// the list; 2: stop the service, own name off the list (the repair state).
using StopMode = uint32_t;
inline constexpr StopMode kStopModeKeepService = 0;
inline constexpr StopMode kStopModeWithSelf = 1;
inline constexpr StopMode kStopModeRepair = 2;

inline constexpr const char* kOwnExecutable = "KorvDestager.exe";

struct RepairStateResult {
    bool availabilityChanged = true;
    bool suiteProcessesStopped = true;
    bool knownExecutablesStopped = true;
    bool bgsStopFailed = false;
    // Executable names (by-name way) and full image paths (by-path way) that would not stop.
    std::unordered_set<std::string> failedToStop;
};

std::unordered_set<std::string> getKnownExecutables(StopMode mode);

}  // namespace kvx::apps::suite
