#pragma once
// One queued log line, as the caller handed it over; formatting happens on the writer thread.

#include <cstdint>
#include <string>

namespace kvx::services::logging {

struct LogLine {
    std::string function;  // as passed, possibly a full signature
    std::string message;
    uint32_t threadId;
    int32_t level;
    int64_t timestamp;  // nanoseconds since 1970-01-01 00:00 UTC
};

}  // namespace kvx::services::logging
