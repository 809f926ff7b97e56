#pragma once
// App events: small level numbers the telemetry sink counts, and the flush of every output before
// the process ends on purpose.

#include <cstdint>

#include "foundation/Assert.h"

namespace kvx::foundation {

inline constexpr int32_t kAppEventFatalAssert = 0;
inline constexpr int32_t kAppEventErrorAssert = 1;
inline constexpr int32_t kAppEventCriticalErrors = 2;
inline constexpr int32_t kAppEventMajorErrors = 3;

// Fatal and Error checks are counted; Warning and Debug are not.
void recordAsAppEvent(AssertLevel level);

// Logger, telemetry sink, standard output and standard error.
void flushAllOutputs();

namespace detail {
// Logs the request at FATAL and flushes every output; the caller then ends the process.
void onCrashRequested();
}  // namespace detail
using detail::onCrashRequested;

}  // namespace kvx::foundation
