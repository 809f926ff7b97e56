#pragma once
// The steps of a run between bringing the framework up and tearing it down, each under the name
// a support engineer finds in the log ("kvx::apps::app_main").

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "destager/DestagerOptions.h"
#include "foundation/win/AutoHandle.h"
#include "foundation/win/ComInitializer.h"

namespace kvx::apps::internal {

inline constexpr const char* kAppMainFunction = "kvx::apps::app_main";

struct InstallPaths {
    std::wstring installLocation;  // empty when unknown
    std::wstring executablePath;
};

InstallPaths gatherInstallPaths();

// Repairs the main keys, checks where the destager runs from and applies the update.
int32_t runUpdate(const destager::DestagerOptions& options);

// Writes the outcome to machine.ini and from then on keeps the file in step with the machine scope.
void recordOutcome(int32_t result, bool attended, std::chrono::nanoseconds startTime);

// Protocol repair, availability, relaunch and the attempt counters, unless a loop was detected.
void finishRun(const destager::DestagerOptions& options, int32_t result, bool loopDetected);

// Everything from reading machine.ini to the relaunch; closes `updateInProgress` once the outcome is
// saved. COM is started in `com` for the caller to release after the framework's teardown.
void runDestage(int argc, const char* const* argv, std::chrono::nanoseconds startTime,
                WinUtils::AutoHandle& updateInProgress, std::optional<WinUtils::ComInitializer>& com);

}  // namespace kvx::apps::internal
