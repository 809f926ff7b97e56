#include "foundation/fs/Win32Paths.h"

#include <vector>

#include "foundation/fs/IFilesystem.h"

namespace kvx::fs {

bool isNotFoundError(OsError error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_NOT_READY:
            return true;
        default:
            return false;
    }
}

}  // namespace kvx::fs

namespace kvx::fs::detail {

namespace {
constexpr std::wstring_view kExtendedPrefix = L"\\\\?\\";
constexpr std::wstring_view kExtendedUncPrefix = L"\\\\?\\UNC\\";
}  // namespace

Result<std::wstring, uint32_t> fullPathName(const std::wstring& path) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0) {
            return Err(static_cast<uint32_t>(GetLastError()));
        }
        if (length < buffer.size()) {
            return Ok(std::wstring(buffer.data(), length));
        }
        buffer.resize(length + 1);
    }
}

std::wstring extendedLengthPath(const Path& path) {
    const std::wstring& wide = path.wide();
    if (wide.starts_with(kExtendedPrefix)) {
        return wide;
    }
    auto full = fullPathName(wide);
    if (full.isError()) {
        return wide;
    }
    std::wstring text = full.unwrap();
    if (text.starts_with(L"\\\\")) {
        return std::wstring(kExtendedUncPrefix) + text.substr(2);
    }
    return std::wstring(kExtendedPrefix) + text;
}

std::wstring win32Path(const Path& path) {
    return path.wide().size() < kLongPathThreshold ? path.wide() : extendedLengthPath(path);
}

std::wstring stripExtendedPrefix(std::wstring path) {
    if (path.starts_with(kExtendedUncPrefix)) {
        return L"\\\\" + path.substr(kExtendedUncPrefix.size());
    }
    if (path.starts_with(kExtendedPrefix)) {
        return path.substr(kExtendedPrefix.size());
    }
    return path;
}

Result<std::wstring, uint32_t> growingPathQuery(
    const std::function<DWORD(wchar_t* buffer, DWORD size)>& query) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = query(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return Err(static_cast<uint32_t>(GetLastError()));
        }
        if (length < buffer.size()) {
            return Ok(stripExtendedPrefix(std::wstring(buffer.data(), length)));
        }
        buffer.resize(length);
    }
}

FileHandle openForAttributes(const Path& path, bool followLinks) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    return FileHandle(CreateFileW(win32Path(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, flags, nullptr));
}

std::filesystem::file_status statusFromAttributes(DWORD attributes, bool isLink) {
    using std::filesystem::file_type;
    using std::filesystem::perms;
    const perms permissions =
        (attributes & FILE_ATTRIBUTE_READONLY) != 0
            ? perms::all & ~(perms::owner_write | perms::group_write | perms::others_write)
            : perms::all;
    const file_type type = isLink                                         ? file_type::symlink
                           : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? file_type::directory
                                                                          : file_type::regular;
    return std::filesystem::file_status(type, permissions);
}

bool isLinkTag(DWORD reparseTag) {
    return reparseTag == IO_REPARSE_TAG_SYMLINK || reparseTag == IO_REPARSE_TAG_MOUNT_POINT;
}

}  // namespace kvx::fs::detail
