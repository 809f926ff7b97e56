#pragma once
// Update-loop detection on the machine: the counters of earlier runs live in the subkey
// "DestagerLoopCheck" of the app key (64-bit view) and are rewritten by every run.

#include <cstdint>
#include <string>

#include "destager/LoopCheck.h"

namespace kvx::apps::destager {

inline constexpr const char* kLoopCheckSubKey = "DestagerLoopCheck";

// Counts this run (result 0 is success) for the destager's own build version and today's UTC date
// and stores the new counters; true when the run makes an update loop.
bool isUpdateLoopDetected(int32_t result);
// The same with the target version and the date given.
bool isUpdateLoopDetected(int32_t result, std::string targetVersion, std::string date);

// The stored counters; a missing value reads as "" or 0 (false).
LoopCheckState readLoopCheckState();
// True when all five values were written.
bool writeLoopCheckState(const LoopCheckState& state);

}  // namespace kvx::apps::destager
