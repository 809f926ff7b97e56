#pragma once
// The text form of one destage error record, as appended to "machine.destageErrors".

#include <cstdint>
#include <string>
#include <string_view>

namespace kvx::apps {

// Values in the order the keys are written.
struct TelemetryRecord {
    std::string tsIncident;
    std::string ecod;
    std::string emsg;
    std::string esev;
    std::string estr;
    std::string fvers;
    std::string tvers;
    std::string uuid;
    std::string attempt;
    std::string ctx;

    bool operator==(const TelemetryRecord&) const = default;
};

// Letters, digits and "-._~" stay; every other byte becomes "%" and two lowercase hex digits.
std::string percentEncode(std::string_view text);

// "ts_incident=..&ecod=..&.." with each key and value encoded, then the whole line encoded again.
std::string encodeTelemetryRecord(const TelemetryRecord& record);

// UTC "2026-01-01T00:00:00.123".
std::string formatIncidentTime(int64_t nanosecondsSinceEpoch);

// Adds "name," to the process-wide list of kinds reported so far and returns the whole list.
std::string appendReportedKind(std::string_view name);

}  // namespace kvx::apps
