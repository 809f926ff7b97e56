#include "foundation/archive/ZipEndRecord.h"

#include <optional>

#include "foundation/archive/LittleEndian.h"

namespace kvx::archive {

namespace {
using detail::hasSignature;
using detail::read16;
using detail::read32;
using detail::read64;

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr size_t kEndFixedSize = 22;
constexpr size_t kZip64EndSize = 56;
constexpr uint64_t kZip64Marker = 0xFFFFFFFF;

ZipCentralDirectoryError parseError(const char* message) {
    return ZipCentralDirectoryError{ZipCentralDirectoryError::ParseError, message};
}

// Backwards from `from` (inclusive), the last position where the signature sits.
std::optional<size_t> findBackwards(std::span<const uint8_t> bytes, size_t from, uint32_t signature) {
    for (size_t pos = from + 1; pos-- > 0;) {
        if (hasSignature(bytes, pos, signature)) {
            return pos;
        }
    }
    return std::nullopt;
}

void readClassicFields(std::span<const uint8_t> bytes, size_t pos, EndOfCentralDir& record) {
    record.diskWithCentralDirectory = read16(bytes, pos + 6);
    record.entriesOnThisDisk = read16(bytes, pos + 8);
    record.totalEntries = read16(bytes, pos + 10);
    record.centralDirectorySize = read32(bytes, pos + 12);
    record.centralDirectoryOffset = read32(bytes, pos + 16);
}

// The ZIP64 record precedes the classic one (with its locator in between).
bool readZip64Fields(std::span<const uint8_t> bytes, size_t classicPos, EndOfCentralDir& record) {
    if (classicPos == 0) {
        return false;
    }
    std::optional<size_t> pos = findBackwards(bytes, classicPos - 1, kZip64EndSignature);
    if (!pos || bytes.size() - *pos < kZip64EndSize) {
        return false;
    }
    record.diskWithCentralDirectory = read32(bytes, *pos + 20);
    record.entriesOnThisDisk = read64(bytes, *pos + 24);
    record.totalEntries = read64(bytes, *pos + 32);
    record.centralDirectorySize = read64(bytes, *pos + 40);
    record.centralDirectoryOffset = read64(bytes, *pos + 48);
    return true;
}
}  // namespace

Result<EndOfCentralDir, ZipCentralDirectoryError> findEndOfCentralDir(std::span<const uint8_t> tail) {
    constexpr const char* kNotFound = "Zip eocd signature not found in buffer";
    if (tail.size() < 5) {
        return Err{parseError(kNotFound)};
    }
    std::optional<size_t> pos = findBackwards(tail, tail.size() - 4, kEndSignature);
    if (!pos || tail.size() - *pos < kEndFixedSize) {
        return Err{parseError(kNotFound)};
    }
    const size_t commentLength = read16(tail, *pos + 20);
    const size_t recordEnd = *pos + kEndFixedSize + commentLength;
    if (recordEnd > tail.size()) {
        return Err{parseError("Zip eocd comment size invalid")};
    }

    EndOfCentralDir record{};
    readClassicFields(tail, *pos, record);
    if (record.centralDirectoryOffset == kZip64Marker && !readZip64Fields(tail, *pos, record)) {
        return Err{parseError("Zip64 eocd Signature not found in buffer")};
    }
    record.comment.assign(reinterpret_cast<const char*>(tail.data()) + *pos + kEndFixedSize, commentLength);
    record.impliedFileSize =
        record.centralDirectoryOffset + record.centralDirectorySize + kEndFixedSize + commentLength;
    record.bytesAfterRecord = tail.size() - recordEnd;
    return Ok{std::move(record)};
}

}  // namespace kvx::archive
