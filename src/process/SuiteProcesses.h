#pragma once
// Stopping every process of the suite before its files are replaced: those whose image lies in the
// install folder (by path) and those with a known suite name wherever they live (by name). Both
// ways terminate; a failure is reported, never the end of the run.

#include <cstdint>
#include <limits>
#include <string>
#include <unordered_set>
#include <vector>

#include "foundation/win/AutoHandle.h"
#include "process/SuiteExecutables.h"
#include "process/SuiteInstall.h"

namespace kvx::apps::suite {

struct SuiteProcessInfo {
    uint32_t pid;
    WinUtils::AutoHandle handle;  // query-limited-information, synchronize and terminate rights
    std::string path;
};

// Means "no time limit" for the waits below.
inline constexpr int64_t kWaitForever = std::numeric_limits<int64_t>::max();

// False only when both ways failed; both always run. Third-party availability is cleared first.
bool enterRepairStateProcesses(SuiteInstall& install, StopMode mode, int64_t waitMs,
                               RepairStateResult& result);
bool stopSuiteProcesses(SuiteInstall& install, StopMode mode, int64_t waitMs, RepairStateResult& result);
bool stopKnownExecutables(StopMode mode, int64_t waitMs, RepairStateResult& result);
std::vector<SuiteProcessInfo> getSuiteProcesses(SuiteInstall& install);

// One pass; the names whose processes could not be opened for termination.
std::unordered_set<std::string> stopExecutables(const std::unordered_set<std::string>& names);
bool tryStopExecutables(std::unordered_set<std::string>& names, uint64_t delayMs, uint8_t attempts);
// One pass; `handles` keeps the processes that did not end.
bool stopProcesses(std::vector<WinUtils::AutoHandle>& handles);
bool tryStopProcesses(std::vector<WinUtils::AutoHandle>& handles, uint64_t delayMs, uint8_t attempts);

// Waits in groups of 64 until all are signalled or the time is up; signalled handles are closed
// and removed.
void waitForObjects(std::vector<WinUtils::AutoHandle>& handles, int64_t timeoutMs);
bool waitForProcessesToExit(std::vector<WinUtils::AutoHandle>& handles, int64_t timeoutMs);
// Leaves in `names` those whose processes are still running (or could not be awaited).
bool waitForProcessesToExit(std::unordered_set<std::string>& names, int64_t timeoutMs);

}  // namespace kvx::apps::suite
