// libFuzzer entry point: any bytes, read as a whole archive with a long and a short tail, give entries or
// an error without a crash, and every name, comment and extra field lies inside the listing's own bytes.

#include <cstdlib>

#include "foundation/archive/ZipCentralDirectory.h"

using namespace kvx::archive;

static bool inside(std::span<const uint8_t> owned, const auto& part) {
    const auto* begin = reinterpret_cast<const uint8_t*>(part.data());
    return part.empty() || (begin >= owned.data() && begin + part.size() <= owned.data() + owned.size());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const RangeReadFunction read =
        [data, size](const std::string&,
                     const FileOffsets& range) -> kvx::Result<std::vector<uint8_t>, FileRangeError> {
        if (range.first > range.last || range.last >= size) {
            return kvx::Err{FileRangeError{"range outside the data"}};
        }
        return kvx::Ok{std::vector<uint8_t>(data + range.first, data + range.last + 1)};
    };
    for (const uint64_t tail : {16384, 0}) {
        auto listing = listZipEntries(read, ZipArchiveDescription{"", size, tail});
        if (listing.isError()) {
            continue;
        }
        const std::span<const uint8_t> owned = listing.peek().directoryBytes();
        for (const ZipFileInfo& entry : listing.peek()) {
            if (!inside(owned, entry.fileName) || !inside(owned, entry.comment()) ||
                !inside(owned, entry.extraField())) {
                std::abort();
            }
        }
    }
    return 0;
}
