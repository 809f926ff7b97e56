#pragma once
// File streams over Windows file handles, with the layer's own enumerations.

#include <cstdint>
#include <span>
#include <vector>

#include "foundation/Result.h"

namespace kvx::fs {

enum class FileAccess : uint32_t { None = 0, Read = 1, Write = 2, ReadWrite = 3 };
enum class CreateDisposition : uint32_t {
    CreateNew = 1,
    CreateAlways = 2,
    OpenExisting = 3,
    OpenAlways = 4,
    TruncateExisting = 5,
    Default = 6,
};
enum ShareFlags : uint32_t { ShareNone = 0, ShareRead = 1, ShareWrite = 2, ShareDelete = 4 };
enum class SeekBase : uint32_t { Begin = 0, Current = 1, End = 2 };

class IFileStream {
public:
    virtual ~IFileStream() = default;
    virtual Result<size_t, uint32_t> read(void* buffer, size_t count) = 0;
    virtual Result<std::vector<uint8_t>, uint32_t> readAll() = 0;
    virtual Result<size_t, uint32_t> readAt(uint64_t offset, void* buffer, size_t count) = 0;
    virtual Result<void, uint32_t> write(std::span<const uint8_t> bytes) = 0;
    virtual Result<uint64_t, uint32_t> size() = 0;
    virtual Result<uint64_t, uint32_t> position() = 0;
    virtual Result<uint64_t, uint32_t> seek(int64_t offset, SeekBase base) = 0;
    virtual Result<void, uint32_t> flush() = 0;
};

}  // namespace kvx::fs
