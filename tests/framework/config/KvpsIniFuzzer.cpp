// libFuzzer entry for the machine.ini parser: the file is written by installers and people alike,
// so any bytes must parse without a crash, keys must land in the store lower-cased, and what the
// program writes back must read in as the same pairs.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzInvariants.h"
#include "framework/config/KVPs.h"

namespace {

// A pair survives "key=value" lines unchanged unless it holds a separator, something the reader
// takes for a comment, or blanks at an edge that the reader trims.
bool writable(std::string_view text, bool isKey) {
    constexpr std::string_view kBlanks = " \t\r\n";
    if (text.find_first_of("=\n#/") != std::string_view::npos) {
        return false;
    }
    if (text.empty()) {
        return !isKey;
    }
    return kBlanks.find(text.front()) == std::string_view::npos &&
           kBlanks.find(text.back()) == std::string_view::npos;
}

void checkRoundTrip(const kvx::KVPs& parsed) {
    kvx::KVPs writable_pairs;
    for (const auto& [key, value] : parsed) {
        if (writable(key, true) && writable(value, false)) {
            writable_pairs.set(key, value);
        }
    }
    kvx::KVPs reread;
    reread.addFromString(writable_pairs.toString("=", "\n"), "=", "\n", true);
    kvx::fuzz::require(reread.size() == writable_pairs.size());
    for (const auto& [key, value] : writable_pairs) {
        const std::string* again = reread.find(key);
        kvx::fuzz::require(again != nullptr && *again == value);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    kvx::KVPs stripped;
    stripped.addFromString(text, "=", "\n", true);
    checkRoundTrip(stripped);
    kvx::fuzz::checkBulkSetLowersKeys(stripped);

    kvx::KVPs verbatim;
    verbatim.addFromString(text, "=", "\n", false);
    checkRoundTrip(verbatim);
    return 0;
}
