// libFuzzer entry point: any byte string, read as a whole archive and as a bare directory, must
// give entries or an error, never a crash or an out-of-range read.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "foundation/archive/ZipCentralDirectory.h"
#include "foundation/archive/ZipEndRecord.h"

namespace {

using namespace kvx::archive;

void listAsArchive(std::span<const uint8_t> data, uint64_t minimumTail) {
    RangeReadFunction read = [data](const std::string&, const FileOffsets& range)
        -> kvx::Result<std::vector<uint8_t>, FileRangeError> {
        if (range.first > range.last || range.last >= data.size()) {
            return kvx::Err{FileRangeError{"range outside the data"}};
        }
        return kvx::Ok{std::vector<uint8_t>(data.begin() + range.first, data.begin() + range.last + 1)};
    };
    auto entries = listZipEntries(read, ZipArchiveDescription{"", data.size(), minimumTail});
    if (entries.isOk()) {
        for (const ZipFileInfo& entry : entries.peek()) {
            (void)isDirectory(entry);
            (void)isSymlink(entry);
        }
    }
}

// The first eight bytes choose the claimed directory size and start; the rest is the directory.
void parseAsDirectory(std::span<const uint8_t> data) {
    if (data.size() < 8) {
        return;
    }
    EndOfCentralDir end{};
    end.centralDirectorySize = data[0] | (data[1] << 8) | (data[2] << 16);
    end.totalEntries = data[3] | (data[4] << 8);
    const uint64_t start = data[5] | (data[6] << 8);
    (void)parseCentralDirectory(data.subspan(8), end, start);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    listAsArchive(bytes, 16384);
    listAsArchive(bytes, 0);
    parseAsDirectory(bytes);
    (void)findEndOfCentralDir(bytes);
    return 0;
}
