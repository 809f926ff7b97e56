#include "destager/TelemetryRecordDecoding.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace kvx::apps {

namespace {
constexpr std::array<std::string_view, 10> kRecordKeys{"ts_incident", "ecod",  "emsg", "esev",    "estr",
                                                       "fvers",       "tvers", "uuid", "attempt", "ctx"};
// Notes quote damaged text only this far: a record may be any length.
constexpr size_t kQuotedBytes = 40;

std::string* recordField(TelemetryRecord& record, size_t keyIndex) {
    std::array<std::string*, kRecordKeys.size()> fields{
        &record.tsIncident, &record.ecod,  &record.emsg, &record.esev,    &record.estr,
        &record.fvers,      &record.tvers, &record.uuid, &record.attempt, &record.ctx};
    return fields[keyIndex];
}

int hexDigitValue(char c) {
    const size_t at = std::string_view("0123456789abcdefABCDEF").find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at < 16 ? at : at - 6);
}

// Control bytes become "\xNN" so that a record stays on one line; with `asciiOnly` also the bytes
// past ASCII, the quote and the backslash, for damaged text quoted in a note.
std::string escapedBytes(std::string_view text, bool asciiOnly) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f || (asciiOnly && (c > 0x7f || c == '"' || c == '\\'))) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string quotedForNote(std::string_view text) {
    return "\"" + escapedBytes(text.substr(0, kQuotedBytes), true) +
           (text.size() > kQuotedBytes ? "...\"" : "\"");
}

struct Unescaped {
    std::string text;
    size_t badEscapes = 0;
    std::string_view firstBad;
    bool badAtEnd = false;
};

// Reverses percent-encoding; a "%" without two hex digits after it is counted and becomes
// `keptPercent`, which the outer layer sets to an escaped "%" so that the inner layer keeps the
// damaged text as written instead of reporting it twice.
Unescaped unescapePercent(std::string_view text, std::string_view keptPercent) {
    Unescaped out;
    out.text.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.text += text[i];
            continue;
        }
        const int high = i + 1 < text.size() ? hexDigitValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? hexDigitValue(text[i + 2]) : -1;
        if (high >= 0 && low >= 0) {
            out.text += static_cast<char>(high * 16 + low);
            i += 2;
            continue;
        }
        if (out.badEscapes++ == 0) {
            out.firstBad = text.substr(i, 3);
            out.badAtEnd = i + 3 > text.size();
        }
        out.text += keptPercent;
    }
    return out;
}

// Only the end of a whole record hints at a value cut short; a key or value ends at every "&".
std::string badEscapeNote(const Unescaped& unescaped, std::string_view where) {
    std::string note = unescaped.badEscapes == 1
                           ? "invalid escape " + quotedForNote(unescaped.firstBad)
                           : std::to_string(unescaped.badEscapes) + " invalid escapes, the first " +
                                 quotedForNote(unescaped.firstBad);
    note += unescaped.badAtEnd && where.empty() ? " at the end (cut off?)" : "";
    return note + std::string(where) + " (kept as text)";
}

void addNote(std::string& notes, const std::string& note) {
    notes += notes.empty() ? "" : "; ";
    notes += note;
}

std::optional<int32_t> upecNumber(std::string_view ecod) {
    constexpr std::string_view kPrefix = "UPEC-";
    if (ecod.substr(0, kPrefix.size()) != kPrefix) {
        return std::nullopt;
    }
    const char* first = ecod.data() + kPrefix.size();
    const char* last = ecod.data() + ecod.size();
    int32_t number = 0;
    const auto [end, error] = std::from_chars(first, last, number);
    if (error != std::errc() || end != last || first == last) {
        return std::nullopt;
    }
    return number;
}

// One "key=value" of the inner line into the record, or a note on why not.
void readRecordPair(std::string_view pair, DecodedErrorRecord& record,
                    std::array<bool, kRecordKeys.size()>& seen, size_t& nextKey, bool& ordered) {
    const size_t equals = pair.find('=');
    if (equals == std::string_view::npos) {
        addNote(record.note, "text without \"=\": " + quotedForNote(pair));
        return;
    }
    const Unescaped key = unescapePercent(pair.substr(0, equals), "%");
    size_t index = 0;
    while (index < kRecordKeys.size() && kRecordKeys[index] != key.text) {
        ++index;
    }
    if (key.badEscapes != 0 || index == kRecordKeys.size()) {
        addNote(record.note, "unknown key " + quotedForNote(key.text));
        return;
    }
    if (seen[index]) {
        addNote(record.note, "repeated key " + std::string(kRecordKeys[index]) + " (the first kept)");
        return;
    }
    const Unescaped value = unescapePercent(pair.substr(equals + 1), "%");
    if (value.badEscapes != 0) {
        addNote(record.note, badEscapeNote(value, " in " + std::string(kRecordKeys[index])));
    }
    ordered = ordered && index >= nextKey;
    nextKey = index + 1;
    seen[index] = true;
    *recordField(record.fields, index) = value.text;
}

// One record: encoded once as a whole, its pairs joined by "&", keys and values encoded inside.
DecodedErrorRecord decodeOneRecord(std::string_view token) {
    DecodedErrorRecord record;
    if (token.empty()) {
        record.note = "empty record";
        return record;
    }
    const Unescaped line = unescapePercent(token, "%25");
    if (line.badEscapes != 0) {
        addNote(record.note, badEscapeNote(line, ""));
    }
    std::array<bool, kRecordKeys.size()> seen{};
    size_t nextKey = 0;
    bool ordered = true;
    const std::string_view text = line.text;
    for (size_t start = 0; start <= text.size();) {
        const size_t amp = std::min(text.find('&', start), text.size());
        readRecordPair(text.substr(start, amp - start), record, seen, nextKey, ordered);
        start = amp + 1;
    }
    std::string missing;
    for (size_t i = 0; i < kRecordKeys.size(); ++i) {
        if (!seen[i]) {
            missing += (missing.empty() ? "" : ", ") + std::string(kRecordKeys[i]);
        }
    }
    if (std::none_of(seen.begin(), seen.end(), [](bool known) { return known; })) {
        addNote(record.note, "no key of an error record");
    } else if (!missing.empty()) {
        addNote(record.note, "missing " + missing);
    }
    if (!ordered) {
        addNote(record.note, "keys out of order");
    }
    record.code = upecNumber(record.fields.ecod);
    if (seen[1] && !record.code) {
        addNote(record.note, "code " + quotedForNote(record.fields.ecod) + " is not UPEC- and a number");
    }
    return record;
}

std::string orUnknown(std::string_view text) {
    return text.empty() ? "?" : escapedBytes(text, false);
}
}  // namespace

std::vector<DecodedErrorRecord> decodeDestageErrors(std::string_view value) {
    std::vector<DecodedErrorRecord> records;
    const size_t first = std::min(value.find('&'), value.size());
    if (first != 0) {
        records.push_back(decodeOneRecord(value.substr(0, first)));
        std::string& note = records.back().note;
        note = "not introduced by \"&\"" + (note.empty() ? "" : "; " + note);
    }
    for (size_t start = first + 1; start <= value.size();) {
        const size_t amp = std::min(value.find('&', start), value.size());
        records.push_back(decodeOneRecord(value.substr(start, amp - start)));
        start = amp + 1;
    }
    return records;
}

std::string describeErrorRecord(const DecodedErrorRecord& record) {
    const TelemetryRecord& f = record.fields;
    std::string line = orUnknown(f.tsIncident) + " UTC: " + orUnknown(f.ecod) + " (" + record.kindName() +
                       "), " + orUnknown(f.esev) + ": " + escapedBytes(f.estr, false);
    return record.note.empty() ? line : line + "  [damaged record: " + record.note + "]";
}

std::string describeErrorRecordContext(const DecodedErrorRecord& record) {
    const TelemetryRecord& f = record.fields;
    return "client " + orUnknown(f.fvers) + ", destager " + orUnknown(f.tvers) + ", attempt " +
           orUnknown(f.attempt) + ", " + orUnknown(f.ctx) + ", correlation id " + orUnknown(f.uuid) +
           ", kinds so far " + orUnknown(f.emsg);
}

}  // namespace kvx::apps
