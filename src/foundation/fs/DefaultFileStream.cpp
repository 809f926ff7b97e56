#include "foundation/fs/DefaultFileStream.h"
#include "foundation/fs/Win32Handles.h"

#include <algorithm>
#include <limits>

#include "foundation/fs/FileStreamFlags.h"
#include "foundation/fs/Win32Paths.h"

namespace kvx::fs {

namespace {

// ReadFile and WriteFile take 32-bit counts; larger requests go in pieces.
constexpr size_t kMaxChunk = std::numeric_limits<DWORD>::max() / 2;

// Reads until `count` bytes or the end of the file; an error ends it.
Result<size_t, uint32_t> readFully(HANDLE handle, uint8_t* buffer, size_t count) {
    size_t total = 0;
    while (total < count) {
        DWORD got = 0;
        const DWORD chunk = static_cast<DWORD>(std::min(count - total, kMaxChunk));
        if (!ReadFile(handle, buffer + total, chunk, &got, nullptr)) {
            return Err(detail::lastOsError());
        }
        if (got == 0) {
            break;
        }
        total += got;
    }
    return Ok(total);
}

}  // namespace

Result<std::unique_ptr<IFileStream>, uint32_t> DefaultFileStream::open(const Path& path, FileAccess access,
                                                                       CreateDisposition disposition,
                                                                       uint32_t shareFlags) {
    const detail::OpenFlags flags = detail::translateOpen(access, disposition, shareFlags);
    detail::FileHandle handle(CreateFileW(detail::win32Path(path).c_str(), flags.desiredAccess,
                                          flags.shareMode, nullptr, flags.creationDisposition,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.valid()) {
        return Err(detail::lastOsError());
    }
    return Ok(std::unique_ptr<IFileStream>(new DefaultFileStream(std::move(handle))));
}

Result<size_t, uint32_t> DefaultFileStream::read(void* buffer, size_t count) {
    return readFully(mHandle.get(), static_cast<uint8_t*>(buffer), count);
}

Result<std::vector<uint8_t>, uint32_t> DefaultFileStream::readAll() {
    auto total = size();
    auto at = position();
    if (total.isError() || at.isError()) {
        return Err(total.isError() ? total.unwrapError() : at.unwrapError());
    }
    const uint64_t remaining = total.peek() > at.peek() ? total.peek() - at.peek() : 0;
    std::vector<uint8_t> bytes(static_cast<size_t>(remaining));
    auto got = readFully(mHandle.get(), bytes.data(), bytes.size());
    if (got.isError()) {
        return Err(got.unwrapError());
    }
    if (got.peek() != bytes.size()) {
        return Err(static_cast<uint32_t>(ERROR_HANDLE_EOF));
    }
    return Ok(std::move(bytes));
}

Result<size_t, uint32_t> DefaultFileStream::readAt(uint64_t offset, void* buffer, size_t count) {
    auto moved = seek(static_cast<int64_t>(offset), SeekBase::Begin);
    if (moved.isError()) {
        return Err(moved.unwrapError());
    }
    return read(buffer, count);
}

Result<void, uint32_t> DefaultFileStream::write(std::span<const uint8_t> bytes) {
    size_t total = 0;
    while (total < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min(bytes.size() - total, kMaxChunk));
        if (!WriteFile(mHandle.get(), bytes.data() + total, chunk, &written, nullptr)) {
            return Err(detail::lastOsError());
        }
        if (written == 0) {
            return Err(static_cast<uint32_t>(ERROR_WRITE_FAULT));
        }
        total += written;
    }
    return Ok();
}

Result<uint64_t, uint32_t> DefaultFileStream::size() {
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(mHandle.get(), &value)) {
        return Err(detail::lastOsError());
    }
    return Ok(static_cast<uint64_t>(value.QuadPart));
}

Result<uint64_t, uint32_t> DefaultFileStream::position() {
    return seek(0, SeekBase::Current);
}

Result<uint64_t, uint32_t> DefaultFileStream::seek(int64_t offset, SeekBase base) {
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    LARGE_INTEGER now{};
    if (!SetFilePointerEx(mHandle.get(), distance, &now, detail::translateSeekBase(base))) {
        return Err(detail::lastOsError());
    }
    return Ok(static_cast<uint64_t>(now.QuadPart));
}

Result<void, uint32_t> DefaultFileStream::flush() {
    if (!FlushFileBuffers(mHandle.get())) {
        return Err(detail::lastOsError());
    }
    return Ok();
}

}  // namespace kvx::fs
