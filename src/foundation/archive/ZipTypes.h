#pragma once
// Records of the zip central-directory reader. Bytes reach the reader only through a range-read
// function, so an archive on disk and one in memory are read the same way.

#include <cstdint>
#include <functional>
#include <string>
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

using RangeReadFunction =
    std::function<Result<std::vector<uint8_t>, FileRangeError>(const std::string& name, const FileOffsets& range)>;

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

// One central file header.
struct ZipFileInfo {
    uint16_t compressionMethod;
    uint16_t versionMadeBy;
    uint16_t flags;
    uint16_t diskNumberStart;
    uint32_t crc32;
    uint64_t compressedSize;
    uint64_t uncompressedSize;
    uint16_t internalAttributes;
    uint32_t externalAttributes;
    uint64_t localHeaderOffset;
    std::string fileName;
    std::string comment;
    std::vector<uint8_t> extraField;  // raw, not interpreted
};

bool isDirectory(const ZipFileInfo& entry);
bool isSymlink(const ZipFileInfo& entry);

}  // namespace kvx::archive
