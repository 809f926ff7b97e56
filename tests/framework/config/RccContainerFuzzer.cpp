// libFuzzer entry for the resource container reader: the file beside the executable may be damaged
// or replaced, so no input may crash it or make it read out of bounds.

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include <zlib.h>

#include "framework/config/RccContainer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);

    auto parsed = kvx::resources::parseRcc(bytes);
    if (parsed.isOk()) {
        // Whatever was accepted must survive a rewrite unchanged.
        const auto entries = parsed.unwrap();
        auto again = kvx::resources::parseRcc(kvx::resources::buildRcc(entries));
        if (!again.isOk() || again.peek().size() != entries.size()) {
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
        (void)kvx::resources::parseRcc(fixed);
    }
    auto plain = kvx::resources::decipherRcc(bytes);
    if (plain.isOk()) {
        (void)kvx::resources::parseRcc(plain.peek());
    }
    return 0;
}
