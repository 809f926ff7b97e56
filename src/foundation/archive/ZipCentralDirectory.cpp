#include "foundation/archive/ZipCentralDirectory.h"

#include <algorithm>
#include <optional>

#include "foundation/Logging.h"
#include "foundation/SafeFormat.h"
#include "foundation/archive/LittleEndian.h"
#include "foundation/archive/ZipEndRecord.h"

namespace kvx::archive {

namespace {
using detail::hasSignature;
using detail::read16;
using detail::read32;
using services::logging::Error;
using services::logging::Warn;

// A listing of 100,000 entries faults in this many bytes a header.
static_assert(sizeof(ZipFileInfo) == 64);

constexpr uint64_t kMinimumTail = 76;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint64_t kCentralHeaderSize = 46;
constexpr const char* kParseFunction = "kvx::archive::parseCentralDirectory";
constexpr fmt::format_string<uint64_t&> kBadOffsetFormat =
    "The zip directory scanner got a bad offset at [{}] and did not recover, this may indicate a corrupt "
    "file";

// A stray-byte gap is searched from 4 bytes ahead down to 7 bytes back.
constexpr int64_t kResyncAhead = 4;
constexpr int64_t kResyncBehind = 7;

ZipCentralDirectoryError ioFailure(std::string message) {
    return ZipCentralDirectoryError{ZipCentralDirectoryError::IoFailure, std::move(message)};
}

std::optional<uint64_t> resynchronise(std::span<const uint8_t> bytes, uint64_t cursor) {
    if (cursor + 8 > bytes.size()) {
        return std::nullopt;
    }
    for (int64_t delta = kResyncAhead; delta >= -kResyncBehind; --delta) {
        const int64_t candidate = static_cast<int64_t>(cursor) + delta;
        if (candidate >= 0 && hasSignature(bytes, static_cast<size_t>(candidate), kCentralHeaderSignature)) {
            return static_cast<uint64_t>(candidate);
        }
    }
    return std::nullopt;
}

std::string_view textAt(std::span<const uint8_t> bytes, uint64_t offset, uint64_t length) {
    return std::string_view(reinterpret_cast<const char*>(bytes.data()) + offset, length);
}

// Fills `entry` from the header at `cursor`, whose 46 fixed bytes the caller has found in `bytes`.
void decodeHeader(std::span<const uint8_t> bytes, uint64_t& cursor, ZipFileInfo& entry) {
    const size_t at = static_cast<size_t>(cursor);
    entry.versionMadeBy = read16(bytes, at + 4);
    entry.flags = read16(bytes, at + 8);
    entry.compressionMethod = read16(bytes, at + 10);
    entry.crc32 = read32(bytes, at + 16);
    entry.compressedSize = read32(bytes, at + 20);
    entry.uncompressedSize = read32(bytes, at + 24);
    const uint64_t nameLength = read16(bytes, at + 28);
    const uint64_t extraLength = read16(bytes, at + 30);
    const uint64_t commentLength = read16(bytes, at + 32);
    entry.diskNumberStart = read16(bytes, at + 34);
    entry.internalAttributes = read16(bytes, at + 36);
    entry.externalAttributes = read32(bytes, at + 38);
    entry.localHeaderOffset = read32(bytes, at + 42);
    cursor += kCentralHeaderSize;

    if (cursor + nameLength + extraLength + commentLength <= bytes.size()) {
        entry.fileName = textAt(bytes, cursor, nameLength);
        entry.extraFieldLength = static_cast<uint16_t>(extraLength);
        entry.commentLength = static_cast<uint16_t>(commentLength);
    } else {
        KVX_LOG_AS("kvx::archive::extractZipFileInfo", Error,
                   "Attempted to scan zip info strings outside the range of the buffer size at offset: {}",
                   cursor);
    }
    cursor += nameLength + extraLength + commentLength;
}
}  // namespace

Result<ZipCentralDirectoryBuffer, ZipCentralDirectoryError> getCentralDirectoryBuffer(
    const RangeReadFunction& readRange, const ZipArchiveDescription& archive) {
    if (archive.size == 0) {
        return Err{ZipCentralDirectoryError{ZipCentralDirectoryError::EmptyZipFile, "Empty file"}};
    }
    const uint64_t tailLength = std::max(archive.minimumTailLength, kMinimumTail);
    const uint64_t tailStart = archive.size > tailLength ? archive.size - tailLength : 0;
    auto tail = readRange(archive.name, FileOffsets{tailStart, archive.size - 1});
    if (tail.isError()) {
        return Err{ioFailure(foundation::safeFormat("Zip Io failure. {}", tail.peekError().message))};
    }
    ZipCentralDirectoryBuffer result{{}, tail.unwrap(), 0};

    auto endRecord = findEndOfCentralDir(result.buffer);
    if (endRecord.isError()) {
        return Err{endRecord.unwrapError()};
    }
    result.endOfCentralDir = endRecord.unwrap();
    const uint64_t directoryOffset = result.endOfCentralDir.centralDirectoryOffset;
    if (directoryOffset > archive.size) {
        KVX_LOG_ERROR("Zip signature location [{}] greater than file size = [{}]", directoryOffset,
                      archive.size);
        return Err{ZipCentralDirectoryError{
            ZipCentralDirectoryError::ParseError,
            foundation::safeFormat("Zip signature location [{}] greater than file size = [{}]",
                                   directoryOffset, archive.size)}};
    }
    if (directoryOffset >= tailStart) {
        result.directoryStart = directoryOffset - tailStart;
        return Ok{std::move(result)};
    }

    // The directory and the tail again as one range: joining two buffers would copy the whole
    // directory once more.
    auto whole = readRange(archive.name, FileOffsets{directoryOffset, archive.size - 1});
    if (whole.isError()) {
        return Err{ioFailure(foundation::safeFormat(
            "Zip IO could not obtain extended central directory buffer. {}", whole.peekError().message))};
    }
    result.buffer = whole.unwrap();
    result.directoryStart = 0;
    return Ok{std::move(result)};
}

ZipFileInfo extractZipFileInfo(std::span<const uint8_t> bytes, uint64_t& cursor) {
    ZipFileInfo entry{};
    decodeHeader(bytes, cursor, entry);
    return entry;
}

Result<std::vector<ZipFileInfo>, ZipCentralDirectoryError> parseCentralDirectory(
    std::span<const uint8_t> bytes, const EndOfCentralDir& endRecord, uint64_t directoryStart) {
    std::vector<ZipFileInfo> entries;
    // The count comes from the archive: never reserve more than the bytes could hold.
    entries.reserve(std::min<uint64_t>(endRecord.totalEntries, bytes.size() / kCentralHeaderSize));
    if (endRecord.centralDirectorySize < kCentralHeaderSize || directoryStart > bytes.size()) {
        return Ok{std::move(entries)};
    }
    const uint64_t lastHeaderStart = directoryStart + endRecord.centralDirectorySize - kCentralHeaderSize;
    uint64_t cursor = directoryStart;
    while (cursor <= lastHeaderStart) {
        // A whole fixed header fits, so its signature does too.
        if (cursor + kCentralHeaderSize <= bytes.size() && read32(bytes, cursor) == kCentralHeaderSignature) {
            decodeHeader(bytes, cursor, entries.emplace_back());
            continue;
        }
        std::optional<uint64_t> recovered = resynchronise(bytes, cursor);
        if (!recovered || *recovered + kCentralHeaderSize > bytes.size()) {
            KVX_LOG_AS(kParseFunction, Error, kBadOffsetFormat, cursor);
            return Err{ZipCentralDirectoryError{ZipCentralDirectoryError::ParseError,
                                                foundation::safeFormat(kBadOffsetFormat, cursor)}};
        }
        KVX_LOG_AS(kParseFunction, Warn,
                   "Zip directory scanner was off signature but recovered at offset: {}", *recovered);
        cursor = *recovered;
    }
    return Ok{std::move(entries)};
}

Result<ZipListing, ZipCentralDirectoryError> listZipEntries(const RangeReadFunction& readRange,
                                                            const ZipArchiveDescription& archive) {
    auto directory = getCentralDirectoryBuffer(readRange, archive);
    if (directory.isError()) {
        return Err{directory.unwrapError()};
    }
    ZipCentralDirectoryBuffer found = directory.unwrap();
    auto entries = parseCentralDirectory(found.buffer, found.endOfCentralDir, found.directoryStart);
    if (entries.isError()) {
        return Err{entries.unwrapError()};
    }
    // Moving the buffer keeps its bytes where they are, so the names stay valid.
    return Ok{ZipListing(std::move(found.buffer), entries.unwrap())};
}

}  // namespace kvx::archive
