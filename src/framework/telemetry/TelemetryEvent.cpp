#include "framework/telemetry/TelemetryEvent.h"

#include <mutex>

#include "foundation/Assert.h"

namespace kvx::foundation {
namespace {

std::mutex sSinkMutex;
std::shared_ptr<ITelemetrySink> sSink;

std::shared_ptr<ITelemetrySink> currentSink() {
    std::lock_guard lock(sSinkMutex);
    return sSink;
}

}  // namespace

TelemetryEvent::TelemetryEvent(std::string taxonomy)
    : mTaxonomy(std::move(taxonomy)), mParams(nlohmann::json::object()) {
    KVX_ASSERT(AssertLevel::Error, !mTaxonomy.empty(), "taxonomy may not be empty");
}

std::shared_ptr<ITelemetrySink> setTelemetrySink(std::shared_ptr<ITelemetrySink> sink) {
    std::lock_guard lock(sSinkMutex);
    std::swap(sSink, sink);
    return sink;
}

// The sink is called outside the lock: it may take its time or record further events.
void recordTelemetryEvent(const TelemetryEvent& event) {
    if (auto sink = currentSink()) {
        sink->record(event);
    }
}

void recordTelemetryAppEvent(int32_t level) {
    if (auto sink = currentSink()) {
        sink->recordAppEvent(level);
    }
}

void flushTelemetry() {
    if (auto sink = currentSink()) {
        sink->flush();
    }
}

}  // namespace kvx::foundation
