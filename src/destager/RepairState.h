#pragma once
// Taking the suite down before its files change: third parties are told it is unavailable, then
// the background service and every suite process are stopped. A failed stop becomes a result code
// naming the most important survivor.

#include <cstdint>
#include <functional>

#include "process/SuiteExecutables.h"

namespace kvx::apps::destager::internal {

// Fills the record and answers whether the suite is down.
using RepairStateStop = std::function<bool(suite::RepairStateResult& result)>;

// 0 when the suite is down, else 7 to 12, 14 or 17. What the stop achieved is reported as telemetry
// in either case.
int32_t enterRepairState();
// The same with the stop given, so the codes can be checked without ending real processes.
int32_t enterRepairState(const RepairStateStop& stop);

// Marks the suite unavailable to third parties, 10 attempts 25 ms apart; a failure is reported as
// telemetry and the update goes on.
void setSuiteUnavailable();
void setSuiteUnavailable(const std::function<bool()>& markUnavailable);

}  // namespace kvx::apps::destager::internal
