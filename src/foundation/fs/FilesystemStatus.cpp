// Existence, status, sizes and times.
#include "foundation/fs/Filesystem.h"
#include "foundation/fs/Win32Paths.h"

namespace kvx::fs {

using namespace detail;

namespace {

Result<BY_HANDLE_FILE_INFORMATION, OsError> handleInformation(const Path& path, bool followLinks) {
    FileHandle handle = openForAttributes(path, followLinks);
    if (!handle.valid()) {
        return Err(static_cast<OsError>(GetLastError()));
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle.get(), &info)) {
        return Err(static_cast<OsError>(GetLastError()));
    }
    return Ok(info);
}

Result<DWORD, OsError> reparseTag(const Path& path) {
    FileHandle handle = openForAttributes(path, false);
    if (!handle.valid()) {
        return Err(static_cast<OsError>(GetLastError()));
    }
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!GetFileInformationByHandleEx(handle.get(), FileAttributeTagInfo, &info, sizeof(info))) {
        return Err(static_cast<OsError>(GetLastError()));
    }
    return Ok(info.ReparseTag);
}

}  // namespace

Result<file_status, OsError> Filesystem::status(const Path& path) {
    auto info = handleInformation(path, true);
    if (info.isOk()) {
        return Ok(statusFromAttributes(info.peek().dwFileAttributes, false));
    }
    const OsError error = info.unwrapError();
    if (isNotFoundError(error)) {
        return Ok(file_status(std::filesystem::file_type::not_found));
    }
    // Items that refuse even an attribute open (paging files and the like) still have a folder entry.
    const DWORD attributes = GetFileAttributesW(win32Path(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return Err(error);
    }
    return Ok(statusFromAttributes(attributes, false));
}

Result<file_status, OsError> Filesystem::symlinkStatus(const Path& path) {
    const DWORD attributes = GetFileAttributesW(win32Path(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const OsError error = GetLastError();
        if (isNotFoundError(error)) {
            return Ok(file_status(std::filesystem::file_type::not_found));
        }
        return Err(error);
    }
    bool isLink = false;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        auto tag = reparseTag(path);
        if (tag.isError()) {
            return Err(tag.unwrapError());
        }
        isLink = isLinkTag(tag.peek());
    }
    return Ok(statusFromAttributes(attributes, isLink));
}

Result<bool, OsError> Filesystem::exists(const Path& path) {
    auto result = status(path);
    if (result.isError()) {
        return Err(result.unwrapError());
    }
    return Ok(result.peek().type() != std::filesystem::file_type::not_found);
}

Result<bool, OsError> Filesystem::equivalent(const Path& a, const Path& b) {
    auto first = handleInformation(a, true);
    if (first.isError()) {
        return Err(first.unwrapError());
    }
    auto second = handleInformation(b, true);
    if (second.isError()) {
        return Err(second.unwrapError());
    }
    const auto& x = first.peek();
    const auto& y = second.peek();
    return Ok(x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
              x.nFileIndexLow == y.nFileIndexLow);
}

Result<uint64_t, OsError> Filesystem::fileSize(const Path& path) {
    WIN32_FIND_DATAW data{};
    FindHandle find(FindFirstFileW(win32Path(path).c_str(), &data));
    if (!find.valid()) {
        return Err(static_cast<OsError>(GetLastError()));
    }
    return Ok((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

Result<bool, OsError> Filesystem::isEmpty(const Path& path) {
    auto info = handleInformation(path, true);
    if (info.isError()) {
        return Err(info.unwrapError());
    }
    const auto& data = info.peek();
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return Ok(data.nFileSizeHigh == 0 && data.nFileSizeLow == 0);
    }
    WIN32_FIND_DATAW entry{};
    FindHandle find(FindFirstFileW((extendedLengthPath(path) + L"\\*").c_str(), &entry));
    if (!find.valid()) {
        return Err(static_cast<OsError>(GetLastError()));
    }
    do {
        const std::wstring_view name = entry.cFileName;
        if (name != L"." && name != L"..") {
            return Ok(false);
        }
    } while (FindNextFileW(find.get(), &entry));
    return Ok(true);
}

Result<int64_t, OsError> Filesystem::lastWriteTime(const Path& path) {
    auto info = handleInformation(path, true);
    if (info.isError()) {
        return Err(info.unwrapError());
    }
    const FILETIME& time = info.peek().ftLastWriteTime;
    return Ok(static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime));
}

Result<void, OsError> Filesystem::setPermissions(const Path& path, std::filesystem::perms permissions) {
    using std::filesystem::perms;
    const std::wstring target = win32Path(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return Err(static_cast<OsError>(GetLastError()));
    }
    // Windows knows only one permission bit: writable or read-only.
    const bool writable =
        (permissions & (perms::owner_write | perms::group_write | perms::others_write)) != perms::none;
    DWORD wanted =
        writable ? (attributes & ~FILE_ATTRIBUTE_READONLY) : (attributes | FILE_ATTRIBUTE_READONLY);
    wanted = wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted;
    if ((wanted & ~FILE_ATTRIBUTE_NORMAL) != attributes && !SetFileAttributesW(target.c_str(), wanted)) {
        return Err(static_cast<OsError>(GetLastError()));
    }
    return Ok();
}

}  // namespace kvx::fs
