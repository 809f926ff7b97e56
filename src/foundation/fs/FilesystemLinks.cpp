// Symbolic links: creation, reading and copying.
#include <vector>

#include "foundation/fs/Filesystem.h"
#include "foundation/fs/Win32Handles.h"
#include "foundation/fs/ReparseData.h"
#include "foundation/fs/Win32Paths.h"

#include <winioctl.h>

namespace kvx::fs {

using namespace detail;

namespace {

// Unprivileged creation (developer mode) is asked for first; Windows versions that do not know the
// flag reject it as an invalid parameter, and then the plain call is made.
Result<void, OsError> createSymlink(const Path& target, const Path& link, DWORD kindFlag) {
    const std::wstring linkPath = win32Path(link);
    // The target is stored exactly as given, so a relative target stays relative.
    if (CreateSymbolicLinkW(linkPath.c_str(), target.c_str(),
                            kindFlag | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
        return Ok();
    }
    if (GetLastError() != ERROR_INVALID_PARAMETER) {
        return Err(detail::lastOsError());
    }
    if (!CreateSymbolicLinkW(linkPath.c_str(), target.c_str(), kindFlag)) {
        return Err(detail::lastOsError());
    }
    return Ok();
}

}  // namespace

Result<void, OsError> Filesystem::createFileSymlink(const Path& target, const Path& link) {
    return createSymlink(target, link, 0);
}

Result<void, OsError> Filesystem::createDirectorySymlink(const Path& target, const Path& link) {
    return createSymlink(target, link, SYMBOLIC_LINK_FLAG_DIRECTORY);
}

Result<Path, OsError> Filesystem::readSymlink(const Path& link) {
    FileHandle handle(CreateFileW(
        win32Path(link).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle.valid()) {
        return Err(detail::lastOsError());
    }
    std::vector<uint8_t> buffer(kReparseBufferSize);
    DWORD returned = 0;
    if (!DeviceIoControl(handle.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                         static_cast<DWORD>(buffer.size()), &returned, nullptr)) {
        return Err(detail::lastOsError());
    }
    auto name = substituteName(buffer.data(), returned);
    if (name.isError()) {
        return Err(name.unwrapError());
    }
    return Ok(Path(name.unwrap()));
}

Result<void, OsError> Filesystem::copySymlink(const Path& from, const Path& to) {
    const DWORD attributes = GetFileAttributesW(win32Path(from).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return Err(detail::lastOsError());
    }
    auto target = readSymlink(from);
    if (target.isError()) {
        return Err(target.unwrapError());
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return createDirectorySymlink(target.peek(), to);
    }
    return createFileSymlink(target.peek(), to);
}

}  // namespace kvx::fs
