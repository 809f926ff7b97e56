// The reader of "machine.destageErrors" (machine.ini comes from players' machines): any bytes read as
// records with notes, never a crash, and whatever the encoder writes reads back unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include "destager/TelemetryRecordDecoding.h"

using namespace kvx::apps;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const DecodedErrorRecord& record : decodeDestageErrors(text)) {
        (void)describeErrorRecord(record);
        (void)describeErrorRecordContext(record);
    }

    // The bytes cut at NUL into the ten values of a record.
    TelemetryRecord record;
    std::string* fields[] = {&record.tsIncident, &record.ecod,  &record.emsg, &record.esev,    &record.estr,
                             &record.fvers,      &record.tvers, &record.uuid, &record.attempt, &record.ctx};
    std::istringstream in{std::string(text)};
    for (std::string* field : fields) {
        std::getline(in, *field, '\0');
    }
    const std::vector<DecodedErrorRecord> decoded = decodeDestageErrors("&" + encodeTelemetryRecord(record));
    if (decoded.size() != 1 || decoded[0].fields != record) {
        std::abort();
    }
    return 0;
}
