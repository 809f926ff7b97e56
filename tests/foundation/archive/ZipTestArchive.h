#pragma once
// Zip archives for the reader tests, from the shared writer, and range reads served from memory.

#include "foundation/archive/ZipTypes.h"
#include "zipwriter/ZipWriter.h"

namespace kvx::test {

using zipwriter::kMsDosDirectory;
using zipwriter::kUnixDirectory;
using zipwriter::kUnixRegularFile;
using zipwriter::kUnixSymlink;
using TestZipEntry = zipwriter::ZipEntry;

inline zipwriter::ZipBytes buildTestZip(const std::vector<TestZipEntry>& entries,
                                        const zipwriter::ZipOptions& options = {}) {
    return zipwriter::buildStoredZip(entries, options);
}

// Every range asked for is recorded; reads after the first `readsBeforeFailure` fail.
struct MemoryRangeReader {
    std::vector<uint8_t> bytes;
    std::vector<std::pair<uint64_t, uint64_t>> requests;  // first and last byte
    size_t readsBeforeFailure = SIZE_MAX;
    Result<std::vector<uint8_t>, archive::FileRangeError> operator()(const std::string&,
                                                                     const archive::FileOffsets& range) {
        requests.emplace_back(range.first, range.last);
        if (requests.size() > readsBeforeFailure) {
            return Err{archive::FileRangeError{"short read"}};
        }
        if (range.first > range.last || range.last >= bytes.size()) {
            return Err{archive::FileRangeError{"range outside the data"}};
        }
        return Ok{std::vector<uint8_t>(bytes.begin() + range.first, bytes.begin() + range.last + 1)};
    }
};

}  // namespace kvx::test
