#pragma once
// Diagnostic events (failed checks, the logger's own failures) and app events, handed to a sink
// when the host process installs one. The destager installs none, so its records are dropped.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

namespace kvx::foundation {

class TelemetryEvent {
public:
    // An empty taxonomy is a failed check: the sink files events by it.
    explicit TelemetryEvent(std::string taxonomy);

    // Strings, integers and booleans.
    template <typename T>
    TelemetryEvent& setParam(std::string_view name, T&& value) {
        mParams[std::string(name)] = std::forward<T>(value);
        return *this;
    }

    const std::string& taxonomy() const { return mTaxonomy; }
    const nlohmann::json& params() const { return mParams; }

private:
    std::string mTaxonomy;
    nlohmann::json mParams;
};

class ITelemetrySink {
public:
    virtual ~ITelemetrySink() = default;
    virtual void record(const TelemetryEvent& event) = 0;
    // App events are small level numbers the host counts (failed checks, crossed error thresholds).
    // A sink that only files events may ignore them.
    virtual void recordAppEvent(int32_t level) { (void)level; }
    // Asked for before the process may end, so nothing recorded is lost.
    virtual void flush() {}
};

// Replaces the process-wide sink (null removes it) and returns the previous one.
std::shared_ptr<ITelemetrySink> setTelemetrySink(std::shared_ptr<ITelemetrySink> sink);

// Each hands its record to the sink, or does nothing when there is none.
void recordTelemetryEvent(const TelemetryEvent& event);
void recordTelemetryAppEvent(int32_t level);
void flushTelemetry();

}  // namespace kvx::foundation
