#pragma once
// Builds small zip archives (stored entries) for tests, with knobs for the damage the reader must
// survive or report.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "foundation/archive/ZipTypes.h"

namespace kvx::test {

inline constexpr uint32_t kUnixRegularFile = 0x81A40000;
inline constexpr uint32_t kUnixDirectory = 0x41ED0000;
inline constexpr uint32_t kUnixSymlink = 0xA1FF0000;
inline constexpr uint32_t kMsDosDirectory = 0x10;

struct TestZipEntry {
    std::string name;
    std::string data;
    uint32_t externalAttributes = kUnixRegularFile;
    std::string extra = {};
    std::string comment = {};
};

struct TestZipOptions {
    std::string comment;
    std::string bytesAfterEndRecord;
    bool zip64 = false;
    // Entry index -> count of stray bytes written after that entry's central header.
    std::map<size_t, size_t> junkAfterHeader;
};

struct TestZip {
    std::vector<uint8_t> bytes;
    uint64_t directoryOffset;
    uint64_t directorySize;
};

TestZip buildTestZip(const std::vector<TestZipEntry>& entries, const TestZipOptions& options = {});

// Range reads served from memory; every range asked for is recorded.
struct MemoryRangeReader {
    std::vector<uint8_t> bytes;
    std::vector<archive::FileOffsets> requests;
    archive::RangeReadFunction function();
};

uint32_t testCrc32(const std::string& data);

}  // namespace kvx::test
