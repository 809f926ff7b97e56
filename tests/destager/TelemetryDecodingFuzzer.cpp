// libFuzzer entry for the reader of "machine.destageErrors": machine.ini comes from players'
// machines, so any bytes must read as records with notes, never a crash, and whatever the encoder
// writes must read back unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "destager/TelemetryRecordDecoding.h"

namespace {

using namespace kvx::apps;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Every "&" starts a record; text before the first one is a record too.
void checkDecodesAnyText(std::string_view text) {
    const std::vector<DecodedErrorRecord> records = decodeDestageErrors(text);
    size_t introduced = 0;
    for (const char c : text) {
        introduced += c == '&' ? 1 : 0;
    }
    require(records.size() == introduced + (!text.empty() && text.front() != '&' ? 1 : 0));
    for (const DecodedErrorRecord& record : records) {
        require(describeErrorRecord(record).find('\n') == std::string::npos);
        (void)describeErrorRecordContext(record);
        if (record.note.empty()) {
            const std::vector<DecodedErrorRecord> again = decodeDestageErrors("&" + encodeTelemetryRecord(record.fields));
            require(again.size() == 1 && again[0].note.empty() && again[0].fields == record.fields);
        }
    }
}

// The bytes cut at NUL into the ten values of a record: the encoder's output reads back as they were.
void checkRoundTrip(std::string_view text) {
    TelemetryRecord record;
    std::string* fields[] = {&record.tsIncident, &record.ecod,  &record.emsg, &record.esev,    &record.estr,
                             &record.fvers,      &record.tvers, &record.uuid, &record.attempt, &record.ctx};
    size_t field = 0;
    for (const char c : text) {
        if (c == '\0' && field + 1 < std::size(fields)) {
            ++field;
        } else {
            *fields[field] += c;
        }
    }
    const std::vector<DecodedErrorRecord> decoded = decodeDestageErrors("&" + encodeTelemetryRecord(record));
    require(decoded.size() == 1 && decoded[0].fields == record);
    // The only thing a faithfully encoded record can be noted for is a code that is not UPEC-<number>.
    require(decoded[0].note.empty() == decoded[0].code.has_value());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkDecodesAnyText(text);
    checkRoundTrip(text);
    return 0;
}
