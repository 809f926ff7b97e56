#include "foundation/archive/ZipTypes.h"

namespace kvx::archive {

namespace {
constexpr uint32_t kMsDosDirectoryBit = 0x10;
constexpr uint32_t kUnixTypeMask = 0xF0000000;
constexpr uint32_t kUnixDirectory = 0x40000000;
constexpr uint32_t kUnixSymlink = 0xA0000000;
}  // namespace

const char* zipErrorKindName(ZipCentralDirectoryError::Kind kind) {
    switch (kind) {
        case ZipCentralDirectoryError::IoFailure:
            return "IoFailure";
        case ZipCentralDirectoryError::ParseError:
            return "ParseError";
        case ZipCentralDirectoryError::EmptyZipFile:
            return "EmptyZipFile";
        default:
            return "";
    }
}

bool isDirectory(const ZipFileInfo& entry) {
    return (!entry.fileName.empty() && entry.fileName.back() == '/') ||
           (entry.externalAttributes & kMsDosDirectoryBit) != 0 ||
           (entry.externalAttributes & kUnixTypeMask) == kUnixDirectory;
}

bool isSymlink(const ZipFileInfo& entry) {
    return (entry.externalAttributes & kUnixTypeMask) == kUnixSymlink;
}

}  // namespace kvx::archive
