#pragma once
// Builds zip archives of stored (uncompressed) entries in memory, with their real CRC-32 values:
// the sandbox's staged-update zip and the reader tests' archives, which may ask for damage the
// reader must survive or report.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kvx::zipwriter {

inline constexpr uint32_t kUnixRegularFile = 0x81A40000;
inline constexpr uint32_t kUnixDirectory = 0x41ED0000;
inline constexpr uint32_t kUnixSymlink = 0xA1FF0000;
inline constexpr uint32_t kMsDosDirectory = 0x10;
inline constexpr uint16_t kMadeByUnix = 0x031E;
inline constexpr uint16_t kMadeByMsDos = 20;

struct ZipEntry {
    std::string name;  // "/"-separated; a trailing "/" names a directory by convention
    std::string data;
    uint32_t externalAttributes = kUnixRegularFile;
    std::string extra = {};
    std::string comment = {};
    uint16_t internalAttributes = 0;
};

struct ZipOptions {
    uint16_t madeBy = kMadeByUnix;
    std::string comment;
    // Damage and rarer layouts for reader tests.
    std::string bytesAfterEndRecord;
    bool zip64 = false;
    std::map<size_t, size_t> junkAfterHeader;  // entry index -> stray bytes after its central header
};

struct ZipBytes {
    std::vector<uint8_t> bytes;
    uint64_t directoryOffset;
    uint64_t directorySize;
};

ZipBytes buildStoredZip(const std::vector<ZipEntry>& entries, const ZipOptions& options = {});

uint32_t crc32Of(const std::string& data);

}  // namespace kvx::zipwriter
