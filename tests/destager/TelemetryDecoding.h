#pragma once
// Reads "machine.destageErrors" back into records for assertions.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvx::test {

using DecodedRecord = std::vector<std::pair<std::string, std::string>>;

inline int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reverses percent-encoding; a malformed escape is kept as text so a test sees it.
inline std::string percentDecode(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

inline std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t pos = text.find(separator); pos != std::string_view::npos; pos = text.find(separator, start)) {
        parts.emplace_back(text.substr(start, pos - start));
        start = pos + 1;
    }
    parts.emplace_back(text.substr(start));
    return parts;
}

// One record as the client reads it: decode once, split pairs, decode keys and values.
inline DecodedRecord decodeRecord(std::string_view encoded) {
    DecodedRecord record;
    for (const std::string& pair : split(percentDecode(encoded), '&')) {
        const size_t equals = pair.find('=');
        record.emplace_back(percentDecode(pair.substr(0, equals)),
                            equals == std::string::npos ? std::string() : percentDecode(pair.substr(equals + 1)));
    }
    return record;
}

// The key's value: records each introduced by "&".
inline std::vector<DecodedRecord> decodeErrorsValue(std::string_view value) {
    std::vector<DecodedRecord> records;
    std::vector<std::string> parts = split(value, '&');
    for (size_t i = 1; i < parts.size(); ++i) {
        records.push_back(decodeRecord(parts[i]));
    }
    return records;
}

inline std::string valueOf(const DecodedRecord& record, std::string_view key) {
    for (const auto& [k, v] : record) {
        if (k == key) return v;
    }
    return "<absent>";
}

}  // namespace kvx::test
