// Creating, removing and moving items.
#include <vector>

#include "foundation/fs/Filesystem.h"
#include "foundation/fs/RemovalPolicy.h"
#include "foundation/fs/Win32Handles.h"
#include "foundation/fs/Win32Paths.h"

namespace kvx::fs {

using namespace detail;

namespace {

// Read-only files are removed too: an old client folder must go away whole.
bool deleteFile(const std::wstring& path) {
    if (DeleteFileW(path.c_str())) {
        return true;
    }
    if (GetLastError() != ERROR_ACCESS_DENIED) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return DeleteFileW(path.c_str()) != FALSE;
}

// A read-only folder refuses removal on Windows just as a read-only file does.
bool removeFolderEntry(const std::wstring& path, DWORD attributes) {
    if (RemoveDirectoryW(path.c_str())) {
        return true;
    }
    if (GetLastError() != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return false;  // the last error is still the removal's
    }
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return RemoveDirectoryW(path.c_str()) != FALSE;
}

bool removeEntry(const std::wstring& path, DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? removeFolderEntry(path, attributes) : deleteFile(path);
}

struct Entry {
    std::wstring name;
    DWORD attributes;
    DWORD reparseTag;  // meaningful only with FILE_ATTRIBUTE_REPARSE_POINT
};

Result<std::vector<Entry>, OsError> listEntries(const std::wstring& folder) {
    WIN32_FIND_DATAW data{};
    FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find.valid()) {
        return Err(detail::lastOsError());
    }
    std::vector<Entry> entries;
    do {
        const std::wstring_view name = data.cFileName;
        if (name != L"." && name != L"..") {
            entries.push_back({std::wstring(name), data.dwFileAttributes, data.dwReserved0});
        }
    } while (FindNextFileW(find.get(), &data));
    return Ok(std::move(entries));
}

// `folder` is in extended-length form, so children of any depth stay addressable.
OsError removeTree(const std::wstring& folder) {
    auto entries = listEntries(folder);
    if (entries.isError()) {
        return entries.unwrapError();
    }
    for (const Entry& entry : entries.peek()) {
        const std::wstring child = folder + L"\\" + entry.name;
        switch (removalFor(entry.attributes, entry.reparseTag)) {
            case Removal::Descend:
                if (const OsError error = removeTree(child); error != ERROR_SUCCESS) {
                    return error;
                }
                break;
            case Removal::Refuse:
                return kErrorReparsePointEncountered;
            case Removal::Unlink:
            case Removal::Delete:
                if (!removeEntry(child, entry.attributes)) {
                    return detail::lastOsError();
                }
                break;
        }
    }
    return removeFolderEntry(folder, GetFileAttributesW(folder.c_str())) ? ERROR_SUCCESS : detail::lastOsError();
}

}  // namespace

Result<bool, OsError> Filesystem::createDirectories(const Path& path) {
    auto existing = status(path);
    if (existing.isError()) {
        return Err(existing.unwrapError());
    }
    const auto type = existing.peek().type();
    if (type == std::filesystem::file_type::directory) {
        return Ok(false);
    }
    if (type != std::filesystem::file_type::not_found) {
        return Err(static_cast<OsError>(ERROR_ALREADY_EXISTS));
    }
    const Path parent = path.parent();
    if (!parent.empty() && parent.wide() != path.wide()) {
        auto madeParent = createDirectories(parent);
        if (madeParent.isError()) {
            return Err(madeParent.unwrapError());
        }
    }
    if (!CreateDirectoryW(win32Path(path).c_str(), nullptr)) {
        const OsError error = detail::lastOsError();
        // Somebody else may have made it in the meantime.
        if (error == ERROR_ALREADY_EXISTS && isDirectory(path)) {
            return Ok(false);
        }
        return Err(error);
    }
    return Ok(true);
}

Result<bool, OsError> Filesystem::remove(const Path& path) {
    const std::wstring target = win32Path(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const OsError error = detail::lastOsError();
        if (isNotFoundError(error)) {
            return Ok(false);
        }
        return Err(error);
    }
    if (!removeEntry(target, attributes)) {
        return Err(detail::lastOsError());
    }
    return Ok(true);
}

Result<bool, OsError> Filesystem::removeDirectory(const Path& path, bool recursive) {
    if (!recursive) {
        return remove(path);
    }
    const DWORD attributes = GetFileAttributesW(win32Path(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const OsError error = detail::lastOsError();
        if (isNotFoundError(error)) {
            return Ok(false);
        }
        return Err(error);
    }
    // The folder asked for may itself be a link: only a plain folder is entered.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return remove(path);
    }
    if (const OsError error = removeTree(extendedLengthPath(path)); error != ERROR_SUCCESS) {
        return Err(error);
    }
    return Ok(true);
}

Result<void, OsError> Filesystem::rename(const Path& from, const Path& to) {
    if (!MoveFileExW(win32Path(from).c_str(), win32Path(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        return Err(detail::lastOsError());
    }
    return Ok();
}

}  // namespace kvx::fs
