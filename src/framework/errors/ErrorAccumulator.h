#pragma once
// Counts reported errors per severity within a time window and tells its handlers once when a
// severity's count is reached.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kvx {
namespace config {
class ConfigSystem;
}

enum class ErrorSeverity : int32_t { Minor = 0, Major = 1, Critical = 2 };

struct ErrorThreshold {
    uint32_t timeWindowSeconds;  // 0: events never expire
    int32_t eventCount;          // 0 or less: the severity never triggers

    friend bool operator==(const ErrorThreshold&, const ErrorThreshold&) = default;
};

using ErrorAccumulatorConfiguration = std::map<ErrorSeverity, ErrorThreshold>;

// "app.errorTimeWindow{Critical,Major,Minor}" and "app.errorEventCount{Critical,Major,Minor}",
// defaults {0 s, 1}, {30 s, 2} and {30 s, 5}.
ErrorAccumulatorConfiguration readErrorAccumulatorConfiguration(const config::ConfigSystem& config);

class IErrorAccumulator {
public:
    using ThresholdHandler = std::function<void(ErrorSeverity)>;

    virtual ~IErrorAccumulator() = default;
    // Forgets the events; a triggered severity stays triggered.
    virtual void reset() = 0;
    virtual void reportEvent(ErrorSeverity severity, std::string_view reason) = 0;
    // Handlers run on the reporting thread, outside the accumulator's lock.
    virtual void addThresholdHandler(ThresholdHandler handler) = 0;
};

class ErrorAccumulator final : public IErrorAccumulator {
public:
    explicit ErrorAccumulator(ErrorAccumulatorConfiguration configuration);

    void reset() override;
    void reportEvent(ErrorSeverity severity, std::string_view reason) override;
    void addThresholdHandler(ThresholdHandler handler) override;

    bool hasTriggered(ErrorSeverity severity) const;

private:
    struct Event {
        int64_t timeSeconds;
        std::string reason;
    };
    struct SeverityState {
        std::vector<Event> events;  // oldest first
        bool triggered = false;
    };

    // Caller holds the lock; true when this report crossed the threshold.
    bool recordLocked(ErrorSeverity severity, std::string_view reason);
    void announceThreshold(ErrorSeverity severity);

    const ErrorAccumulatorConfiguration mConfiguration;
    std::map<ErrorSeverity, SeverityState> mEventData;
    std::vector<ThresholdHandler> mHandlers;
    mutable std::mutex mMutex;
};

}  // namespace kvx
