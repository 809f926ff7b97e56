// libFuzzer entry point: any byte string, read as a whole archive with a short and a long tail, gives
// entries or an error, never a crash or an out-of-range read; and every name, comment and extra field
// of a listing lies inside the directory bytes the listing owns.

#include <cstdlib>

#include "foundation/archive/ZipCentralDirectory.h"

namespace {

using namespace kvx::archive;

bool inside(std::span<const uint8_t> owned, const void* data, size_t size) {
    const auto* begin = static_cast<const uint8_t*>(data);
    return size == 0 || (begin >= owned.data() && begin + size <= owned.data() + owned.size());
}

void listAsArchive(std::span<const uint8_t> data, uint64_t minimumTail) {
    RangeReadFunction read =
        [data](const std::string&,
               const FileOffsets& range) -> kvx::Result<std::vector<uint8_t>, FileRangeError> {
        if (range.first > range.last || range.last >= data.size()) {
            return kvx::Err{FileRangeError{"range outside the data"}};
        }
        return kvx::Ok{std::vector<uint8_t>(data.begin() + range.first, data.begin() + range.last + 1)};
    };
    auto listing = listZipEntries(read, ZipArchiveDescription{"", data.size(), minimumTail});
    if (listing.isError()) {
        return;
    }
    const std::span<const uint8_t> owned = listing.peek().directoryBytes();
    for (const ZipFileInfo& entry : listing.peek()) {
        if (!inside(owned, entry.fileName.data(), entry.fileName.size()) ||
            !inside(owned, entry.comment().data(), entry.comment().size()) ||
            !inside(owned, entry.extraField().data(), entry.extraField().size())) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    listAsArchive(std::span<const uint8_t>(data, size), 16384);
    listAsArchive(std::span<const uint8_t>(data, size), 0);
    return 0;
}
