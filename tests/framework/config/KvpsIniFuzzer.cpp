// libFuzzer entry for the machine.ini parser: installers and people write the file, so any bytes must
// parse without a crash, and what the program writes back must read in as the same pairs.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string_view>

#include "framework/config/KVPs.h"

namespace {

// Without separators, comment openers and blanks (which the reader trims), a text survives a rewrite.
bool writable(std::string_view text) {
    return text.find_first_of("=\n#/ \t\r") == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kvx::KVPs parsed;
    parsed.addFromString(std::string_view(reinterpret_cast<const char*>(data), size), "=", "\n", true);
    kvx::KVPs written;
    for (const auto& [key, value] : parsed) {
        if (!key.empty() && writable(key) && writable(value)) {
            written.set(key, value);
        }
    }
    kvx::KVPs reread;
    reread.addFromString(written.toString("=", "\n"), "=", "\n", true);
    using Sorted = std::map<std::string, std::string>;
    if (Sorted(reread.begin(), reread.end()) != Sorted(written.begin(), written.end())) {
        std::abort();
    }
    return 0;
}
