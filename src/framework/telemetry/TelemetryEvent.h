#pragma once
// Diagnostic events for failures that cannot be logged (the logger's own), handed to a sink when
// the host process installs one. The destager installs none, so its events are dropped.

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

namespace kvx::foundation {

class TelemetryEvent {
public:
    explicit TelemetryEvent(std::string taxonomy) : mTaxonomy(std::move(taxonomy)), mParams(nlohmann::json::object()) {}

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
};

// Replaces the process-wide sink (null removes it) and returns the previous one.
std::shared_ptr<ITelemetrySink> setTelemetrySink(std::shared_ptr<ITelemetrySink> sink);

// Hands the event to the sink, or drops it when there is none.
void recordTelemetryEvent(const TelemetryEvent& event);

}  // namespace kvx::foundation
