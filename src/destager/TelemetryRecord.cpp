#include "destager/TelemetryRecord.h"

#include <ctime>
#include <mutex>
#include <utility>

#include <fmt/chrono.h>
#include <fmt/format.h>

namespace kvx::apps {

namespace {
bool isUnreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

void appendPair(std::string& line, std::string_view key, std::string_view value) {
    if (!line.empty()) {
        line += '&';
    }
    line += percentEncode(key);
    line += '=';
    line += percentEncode(value);
}

int64_t floorDivide(int64_t value, int64_t divisor) {
    const int64_t quotient = value / divisor;
    return (value % divisor < 0) ? quotient - 1 : quotient;
}
}  // namespace

std::string percentEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string encoded;
    encoded.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (isUnreserved(c)) {
            encoded += ch;
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 0x0F];
        }
    }
    return encoded;
}

std::string encodeTelemetryRecord(const TelemetryRecord& record) {
    std::string line;
    appendPair(line, "ts_incident", record.tsIncident);
    appendPair(line, "ecod", record.ecod);
    appendPair(line, "emsg", record.emsg);
    appendPair(line, "esev", record.esev);
    appendPair(line, "estr", record.estr);
    appendPair(line, "fvers", record.fvers);
    appendPair(line, "tvers", record.tvers);
    appendPair(line, "uuid", record.uuid);
    appendPair(line, "attempt", record.attempt);
    appendPair(line, "ctx", record.ctx);
    // The key's value is itself a list of records joined by "&", so each record is encoded once more.
    return percentEncode(line);
}

std::string formatIncidentTime(int64_t nanosecondsSinceEpoch) {
    const int64_t milliseconds = floorDivide(nanosecondsSinceEpoch, 1'000'000);
    const auto seconds = static_cast<std::time_t>(floorDivide(milliseconds, 1000));
    const int64_t millisecondPart = milliseconds - static_cast<int64_t>(seconds) * 1000;
    return fmt::format("{:%Y-%m-%dT%H:%M:%S}.{:03d}", fmt::gmtime(seconds), millisecondPart);
}

std::string appendReportedKind(std::string_view name) {
    static std::mutex mutex;
    static std::string reported;
    std::lock_guard lock(mutex);
    reported += name;
    reported += ',';
    return reported;
}

}  // namespace kvx::apps
