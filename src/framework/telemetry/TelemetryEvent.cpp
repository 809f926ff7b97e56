#include "framework/telemetry/TelemetryEvent.h"

#include <mutex>

namespace kvx::foundation {
namespace {

std::mutex sSinkMutex;
std::shared_ptr<ITelemetrySink> sSink;

}  // namespace

std::shared_ptr<ITelemetrySink> setTelemetrySink(std::shared_ptr<ITelemetrySink> sink) {
    std::lock_guard lock(sSinkMutex);
    std::swap(sSink, sink);
    return sink;
}

void recordTelemetryEvent(const TelemetryEvent& event) {
    std::shared_ptr<ITelemetrySink> sink;
    {
        std::lock_guard lock(sSinkMutex);
        sink = sSink;
    }
    // Called outside the lock: a sink may take its time or record further events.
    if (sink) {
        sink->record(event);
    }
}

}  // namespace kvx::foundation
