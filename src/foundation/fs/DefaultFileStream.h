#pragma once
// A synchronous file stream over a Win32 file handle.

#include <memory>

#include "foundation/fs/FileStream.h"
#include "foundation/fs/Path.h"
#include "foundation/fs/Win32Handles.h"

namespace kvx::fs {

class DefaultFileStream final : public IFileStream {
public:
    static Result<std::unique_ptr<IFileStream>, uint32_t> open(const Path& path, FileAccess access,
                                                               CreateDisposition disposition,
                                                               uint32_t shareFlags);

    Result<size_t, uint32_t> read(void* buffer, size_t count) override;
    Result<std::vector<uint8_t>, uint32_t> readAll() override;
    Result<size_t, uint32_t> readAt(uint64_t offset, void* buffer, size_t count) override;
    Result<void, uint32_t> write(std::span<const uint8_t> bytes) override;
    Result<uint64_t, uint32_t> size() override;
    Result<uint64_t, uint32_t> position() override;
    Result<uint64_t, uint32_t> seek(int64_t offset, SeekBase base) override;
    Result<void, uint32_t> flush() override;

private:
    explicit DefaultFileStream(detail::FileHandle handle) : mHandle(std::move(handle)) {}

    detail::FileHandle mHandle;
};

}  // namespace kvx::fs
