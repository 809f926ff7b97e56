#pragma once
// Records of the zip central-directory reader. Bytes reach the reader only through a range-read
// function, so an archive on disk and one in memory are read the same way.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/Result.h"

namespace kvx::archive {

// A byte range of the archive; both offsets inclusive.
struct FileOffsets {
    uint64_t first;
    uint64_t last;
};

struct FileRangeError {
    std::string message;
};

using RangeReadFunction = std::function<Result<std::vector<uint8_t>, FileRangeError>(
    const std::string& name, const FileOffsets& range)>;

struct ZipArchiveDescription {
    std::string name;  // handed to the range-read function as is
    uint64_t size;
    uint64_t minimumTailLength;
};

struct ZipCentralDirectoryError {
    enum Kind : uint32_t { None = 0, IoFailure = 1, ParseError = 2, EmptyZipFile = 3 };
    Kind kind;
    std::string message;
};

// "IoFailure", "ParseError", "EmptyZipFile"; "" for None and anything unknown.
const char* zipErrorKindName(ZipCentralDirectoryError::Kind kind);

struct EndOfCentralDir {
    uint32_t diskWithCentralDirectory;
    uint64_t entriesOnThisDisk;
    uint64_t totalEntries;
    uint64_t centralDirectorySize;
    uint64_t centralDirectoryOffset;
    std::string comment;
    uint64_t impliedFileSize;   // directory offset + directory size + 22 + comment length
    uint64_t bytesAfterRecord;  // bytes after the record and its comment in the searched buffer
};

struct ZipCentralDirectoryBuffer {
    EndOfCentralDir endOfCentralDir;
    std::vector<uint8_t> buffer;
    uint64_t directoryStart;  // where the directory begins inside `buffer`
};

// One central file header. Its name points into the bytes it was decoded from, and the extra field
// and comment that follow the name there are reached through it: one copy of every name in the
// directory bytes instead of a string per entry, and 64 bytes an entry.
struct ZipFileInfo {
    uint16_t compressionMethod;
    uint16_t versionMadeBy;
    uint16_t flags;
    uint16_t diskNumberStart;
    uint32_t crc32;
    uint16_t extraFieldLength;  // here, they fill the gap before the 64-bit fields
    uint16_t commentLength;
    uint64_t compressedSize;
    uint64_t uncompressedSize;
    uint16_t internalAttributes;
    uint32_t externalAttributes;
    uint64_t localHeaderOffset;
    std::string_view fileName;

    // Raw, not interpreted.
    std::span<const uint8_t> extraField() const {
        return {reinterpret_cast<const uint8_t*>(fileName.data()) + fileName.size(), extraFieldLength};
    }
    std::string_view comment() const {
        return {fileName.data() + fileName.size() + extraFieldLength, commentLength};
    }
};

// The entries of an archive together with the directory bytes their names point into. Moving
// keeps the names valid; a copy would point into the original, so there is none.
class ZipListing {
public:
    ZipListing(std::vector<uint8_t> directory, std::vector<ZipFileInfo> entries)
        : mDirectory(std::move(directory)), mEntries(std::move(entries)) {}
    ZipListing(ZipListing&&) noexcept = default;
    ZipListing& operator=(ZipListing&&) noexcept = default;
    ZipListing(const ZipListing&) = delete;
    ZipListing& operator=(const ZipListing&) = delete;

    const std::vector<ZipFileInfo>& entries() const { return mEntries; }
    std::span<const uint8_t> directoryBytes() const { return mDirectory; }
    auto begin() const { return mEntries.begin(); }
    auto end() const { return mEntries.end(); }
    size_t size() const { return mEntries.size(); }
    bool empty() const { return mEntries.empty(); }
    const ZipFileInfo& operator[](size_t index) const { return mEntries[index]; }

private:
    std::vector<uint8_t> mDirectory;
    std::vector<ZipFileInfo> mEntries;
};

bool isDirectory(const ZipFileInfo& entry);
bool isSymlink(const ZipFileInfo& entry);

}  // namespace kvx::archive
