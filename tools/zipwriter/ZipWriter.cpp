#include "ZipWriter.h"

#include <zlib.h>

namespace kvx::zipwriter {

namespace {

constexpr uint16_t kVersionNeeded = 20;
constexpr uint16_t kUtf8NamesFlag = 0x0800;
// 2024-01-01 00:00:00 in MS-DOS form; nothing reads the times.
constexpr uint16_t kDosTime = 0;
constexpr uint16_t kDosDate = ((2024 - 1980) << 9) | (1 << 5) | 1;

void put16(std::vector<uint8_t>& out, uint64_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}
void put32(std::vector<uint8_t>& out, uint64_t value) {
    put16(out, value & 0xFFFF);
    put16(out, (value >> 16) & 0xFFFF);
}
void put64(std::vector<uint8_t>& out, uint64_t value) {
    put32(out, value & 0xFFFFFFFF);
    put32(out, value >> 32);
}
void putText(std::vector<uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

// The fields local and central headers share, from "version needed" to the name length.
void putCommonFields(std::vector<uint8_t>& out, const ZipEntry& entry) {
    put16(out, kVersionNeeded);
    put16(out, kUtf8NamesFlag);
    put16(out, 0);  // stored
    put16(out, kDosTime);
    put16(out, kDosDate);
    put32(out, crc32Of(entry.data));
    put32(out, entry.data.size());
    put32(out, entry.data.size());
    put16(out, entry.name.size());
}

void putLocalHeader(std::vector<uint8_t>& out, const ZipEntry& entry) {
    put32(out, 0x04034b50);
    putCommonFields(out, entry);
    put16(out, 0);  // extra field length
    putText(out, entry.name);
    putText(out, entry.data);
}

void putCentralHeader(std::vector<uint8_t>& out, const ZipEntry& entry, uint16_t madeBy,
                      uint64_t localOffset) {
    put32(out, 0x02014b50);
    put16(out, madeBy);
    putCommonFields(out, entry);
    put16(out, entry.extra.size());
    put16(out, entry.comment.size());
    put16(out, 0);  // disk
    put16(out, entry.internalAttributes);
    put32(out, entry.externalAttributes);
    put32(out, localOffset);
    putText(out, entry.name);
    putText(out, entry.extra);
    putText(out, entry.comment);
}

void putZip64Records(std::vector<uint8_t>& out, uint64_t count, uint64_t size, uint64_t offset) {
    const uint64_t recordOffset = out.size();
    put32(out, 0x06064b50);
    put64(out, 44);  // size of the rest of the record
    put16(out, 0x032D);
    put16(out, 45);
    put32(out, 0);
    put32(out, 0);
    put64(out, count);
    put64(out, count);
    put64(out, size);
    put64(out, offset);
    put32(out, 0x07064b50);  // locator
    put32(out, 0);
    put64(out, recordOffset);
    put32(out, 1);
}

}  // namespace

uint32_t crc32Of(const std::string& data) {
    return static_cast<uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

ZipBytes buildStoredZip(const std::vector<ZipEntry>& entries, const ZipOptions& options) {
    ZipBytes zip{};
    std::vector<uint64_t> localOffsets;
    for (const ZipEntry& entry : entries) {
        localOffsets.push_back(zip.bytes.size());
        putLocalHeader(zip.bytes, entry);
    }
    zip.directoryOffset = zip.bytes.size();
    for (size_t i = 0; i < entries.size(); ++i) {
        putCentralHeader(zip.bytes, entries[i], options.madeBy, localOffsets[i]);
        if (auto junk = options.junkAfterHeader.find(i); junk != options.junkAfterHeader.end()) {
            zip.bytes.insert(zip.bytes.end(), junk->second, 0xEE);
        }
    }
    zip.directorySize = zip.bytes.size() - zip.directoryOffset;
    if (options.zip64) {
        putZip64Records(zip.bytes, entries.size(), zip.directorySize, zip.directoryOffset);
    }
    put32(zip.bytes, 0x06054b50);
    put16(zip.bytes, 0);  // this disk
    put16(zip.bytes, 0);  // disk with the directory
    put16(zip.bytes, options.zip64 ? 0xFFFF : entries.size());
    put16(zip.bytes, options.zip64 ? 0xFFFF : entries.size());
    put32(zip.bytes, options.zip64 ? 0xFFFFFFFF : zip.directorySize);
    put32(zip.bytes, options.zip64 ? 0xFFFFFFFF : zip.directoryOffset);
    put16(zip.bytes, options.comment.size());
    putText(zip.bytes, options.comment);
    putText(zip.bytes, options.bytesAfterEndRecord);
    return zip;
}

}  // namespace kvx::zipwriter
