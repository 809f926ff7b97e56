#pragma once
// Destage error telemetry: one record per incident, appended to "machine.destageErrors" for the
// client to forward, and logged.

#include <cstdint>
#include <string>
#include <utility>

#include "destager/ErrorKinds.h"
#include "foundation/SafeFormat.h"

namespace kvx::apps {

void addErrorTelemetryImpl(int32_t code, int32_t severity, const std::string& message);

template <typename... Args>
void addErrorTelemetry(int32_t code, int32_t severity, fmt::format_string<Args...> format, Args&&... args) {
    addErrorTelemetryImpl(code, severity, foundation::safeFormat(format, std::forward<Args>(args)...));
}

}  // namespace kvx::apps
