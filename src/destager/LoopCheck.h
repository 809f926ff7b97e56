#pragma once
// Update-loop decisions: counts destager runs per target version and UTC day, and reports a loop
// when the same outcome repeats too often or there are too many runs. Storage is the caller's.

#include <cstdint>
#include <string>

namespace kvx::apps::destager {

struct LoopCheckState {
    std::string targetVersion;
    std::string date;  // UTC, "%Y-%m-%d"
    uint32_t updateNumber = 0;
    uint32_t sameResults = 0;
    bool lastSuccessful = false;
};

inline constexpr uint32_t kSameResultsLoopThreshold = 4;
inline constexpr uint32_t kUpdateNumberLoopThreshold = 7;

bool shouldResetCounter(const LoopCheckState& previous, const LoopCheckState& current);

struct LoopDecision {
    LoopCheckState current;  // what to store for the next run
    bool loopDetected;
};

// The state after this run (result 0 is success) and whether it makes a loop; logs the reason.
LoopDecision decideUpdateLoop(const LoopCheckState& previous, int32_t result, std::string targetVersion,
                              std::string date);

// "2026-03-01" for a time in nanoseconds since 1970-01-01 UTC.
std::string utcDateText(int64_t nanosecondsSinceEpoch);

}  // namespace kvx::apps::destager
