// libFuzzer entry for the resource container reader: the file beside the executable may be damaged or
// replaced, so no input may crash it, and whatever it accepts must survive a rewrite.

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include <zlib.h>

#include "framework/config/RccContainer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kvx::resources;
    auto parsed = parseRcc(std::span(data, size));
    if (parsed.isOk()) {
        auto again = parseRcc(buildRcc(parsed.peek()));
        if (!again.isOk() || again.peek().size() != parsed.peek().size()) {
            std::abort();
        }
    }
    // Again with a correct checksum, so mutations reach the structural checks behind it.
    if (size >= 16) {
        std::vector<uint8_t> fixed(data, data + size);
        const uint32_t crc = static_cast<uint32_t>(crc32(0, fixed.data(), static_cast<uInt>(size - 4)));
        for (int i = 0; i < 4; ++i) {
            fixed[size - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
        }
        (void)parseRcc(fixed);
    }
    auto plain = decipherRcc(std::span(data, size));
    if (plain.isOk()) {
        (void)parseRcc(plain.peek());
    }
    return 0;
}
