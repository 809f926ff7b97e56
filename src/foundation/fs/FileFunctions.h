#pragma once
// Whole-file reads and writes with the error records the program reports.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "foundation/Result.h"
#include "foundation/fs/Path.h"

namespace kvx::foundation::file {

inline constexpr uint32_t kUnknownAttributes = 65535;

struct FileReadError {
    enum Kind : uint32_t { None = 0, DoesNotExist = 1, CouldNotOpen = 2, Empty = 3, TooLarge = 4, IncompleteRead = 5 };
    uint32_t kind;
    uint32_t errorCode;
    uint32_t fileAttributes;

    // "File does not exist. errorCode[2], fileAttributes[65535]" and the like.
    std::string toString() const;
};

struct WriteFileError {
    uint32_t error;
    uint32_t attr;
};

// Opens for reading with read/write/delete sharing; an empty file or one over `maxSize` is an error.
Result<std::vector<uint8_t>, FileReadError> readFile(const fs::Path& path, uint64_t maxSize);
// Replaces the file's content; opened create-always with no sharing.
Result<void, WriteFileError> writeFile(const fs::Path& path, std::span<const uint8_t> bytes);

}  // namespace kvx::foundation::file
