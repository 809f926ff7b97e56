#include "framework/errors/ErrorAccumulator.h"

#include <algorithm>
#include <utility>

#include "foundation/Assert.h"
#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "framework/errors/AppEvents.h"
#include "framework/telemetry/TelemetryEvent.h"

namespace kvx {
namespace {

// The log lines keep the name of the public operation that wrote them.
constexpr const char* kReportEventName = "kvx::ErrorAccumulator::reportEvent";

}  // namespace

ErrorAccumulator::ErrorAccumulator(ErrorAccumulatorConfiguration configuration)
    : mConfiguration(std::move(configuration)) {
    for (const auto& entry : mConfiguration) {
        mEventData[entry.first];
    }
}

void ErrorAccumulator::reset() {
    std::lock_guard lock(mMutex);
    for (auto& entry : mEventData) {
        entry.second.events.clear();
    }
}

// The maps' shapes never change after construction, so they are searched without the lock.
void ErrorAccumulator::reportEvent(ErrorSeverity severity, std::string_view reason) {
    const auto value = static_cast<int32_t>(severity);
    KVX_ASSERT(foundation::AssertLevel::Error, mConfiguration.find(severity) != mConfiguration.end(),
               "mConfiguration is missing severity value {}", value);
    if (mConfiguration.find(severity) == mConfiguration.end()) {
        return;
    }
    KVX_ASSERT(foundation::AssertLevel::Error, mEventData.find(severity) != mEventData.end(),
               "mEvents is missing severity value {}", value);
    if (mEventData.find(severity) == mEventData.end()) {
        return;
    }
    bool crossed = false;
    {
        std::lock_guard lock(mMutex);
        crossed = recordLocked(severity, reason);
    }
    if (crossed) {
        announceThreshold(severity);
    }
}

void ErrorAccumulator::addThresholdHandler(ThresholdHandler handler) {
    std::lock_guard lock(mMutex);
    mHandlers.push_back(std::move(handler));
}

bool ErrorAccumulator::hasTriggered(ErrorSeverity severity) const {
    std::lock_guard lock(mMutex);
    const auto state = mEventData.find(severity);
    return state != mEventData.end() && state->second.triggered;
}

bool ErrorAccumulator::recordLocked(ErrorSeverity severity, std::string_view reason) {
    const ErrorThreshold& threshold = mConfiguration.at(severity);
    SeverityState& state = mEventData.at(severity);
    if (threshold.eventCount <= 0 || state.triggered) {
        return false;
    }
    const int64_t now = foundation::clock().nowSecondsSinceEpoch();
    auto& events = state.events;
    events.push_back({now, std::string(reason)});
    if (threshold.timeWindowSeconds > 0) {
        const int64_t oldestKept = now - static_cast<int64_t>(threshold.timeWindowSeconds);
        const auto firstKept =
            std::lower_bound(events.begin(), events.end(), oldestKept,
                             [](const Event& event, int64_t time) { return event.timeSeconds < time; });
        events.erase(events.begin(), firstKept);
    }
    if (events.size() < static_cast<size_t>(threshold.eventCount)) {
        return false;
    }
    for (const auto& event : events) {
        KVX_LOG_AS(kReportEventName, services::logging::Error,
                   "Error accumulator threshold reached. Reason: {}", event.reason);
    }
    state.triggered = true;
    return true;
}

void ErrorAccumulator::announceThreshold(ErrorSeverity severity) {
    const auto value = static_cast<int32_t>(severity);
    KVX_LOG_AS(kReportEventName, services::logging::Error, "Error threshold reached.  severity[{}]", value);
    std::vector<ThresholdHandler> handlers;
    {
        std::lock_guard lock(mMutex);
        handlers = mHandlers;
    }
    for (const auto& handler : handlers) {
        handler(severity);
    }
    switch (severity) {
        case ErrorSeverity::Major:
            foundation::recordTelemetryAppEvent(foundation::kAppEventMajorErrors);
            return;
        case ErrorSeverity::Critical:
            foundation::recordTelemetryAppEvent(foundation::kAppEventCriticalErrors);
            return;
        case ErrorSeverity::Minor:
            return;
    }
    KVX_ASSERT_ALWAYS(foundation::AssertLevel::Error, "Invalid Severity value[{}]", value);
}

}  // namespace kvx
