#pragma once
// Reads "machine.destageErrors" back into records, for the people who look at a player's
// machine.ini after a failed update. Damaged text never stops the reading: each record carries a
// note on what in it could not be read.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "destager/ErrorKinds.h"
#include "destager/TelemetryRecord.h"

namespace kvx::apps {

struct DecodedErrorRecord {
    // The values as written; a key the record lacks leaves its value empty.
    TelemetryRecord fields;
    // The number of "UPEC-<number>", when the code is one.
    std::optional<int32_t> code;
    // What was wrong with the record, in words; empty when it read cleanly.
    std::string note;

    const char* kindName() const { return code ? upecName(*code) : "unknown"; }
};

// The records in the order they were appended, oldest first. Text before the first "&" is read
// as a record too, with a note.
std::vector<DecodedErrorRecord> decodeDestageErrors(std::string_view value);

// "2026-01-01T00:00:00.042 UTC: UPEC-2202 (rename_old_client), fatal: <message>", and the note.
std::string describeErrorRecord(const DecodedErrorRecord& record);
// The other fields: versions, attempt, context, correlation id and the kinds reported before.
std::string describeErrorRecordContext(const DecodedErrorRecord& record);

}  // namespace kvx::apps
