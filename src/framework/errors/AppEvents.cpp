#include "framework/errors/AppEvents.h"

#include <cstdio>

#include "foundation/Logging.h"
#include "framework/telemetry/TelemetryEvent.h"

namespace kvx::foundation {

void recordAsAppEvent(AssertLevel level) {
    switch (level) {
        case AssertLevel::Fatal:
            recordTelemetryAppEvent(kAppEventFatalAssert);
            return;
        case AssertLevel::Error:
            recordTelemetryAppEvent(kAppEventErrorAssert);
            return;
        case AssertLevel::Warning:
        case AssertLevel::Debug:
            return;
    }
    KVX_ASSERT_ALWAYS(AssertLevel::Error, "Invalid AssertLevel value[{}]", static_cast<int32_t>(level));
}

void flushAllOutputs() {
    // Even a logger that no longer accepts lines may still hold unwritten ones.
    if (auto* logger = utils::Singleton<services::logging::ILogger>::tryGet()) {
        logger->flush();
    }
    flushTelemetry();
    std::fflush(stdout);
    std::fflush(stderr);
}

namespace detail {

void onCrashRequested() {
    KVX_LOG_AS("kvx::foundation::detail::onCrashRequested", services::logging::Fatal,
               "Forced Crash Requested");
    flushAllOutputs();
}

}  // namespace detail
}  // namespace kvx::foundation
