// Creating, removing and moving items.
#include "foundation/fs/Filesystem.h"
#include "foundation/fs/HandleOpen.h"
#include "foundation/fs/Win32Handles.h"
#include "foundation/fs/Win32Paths.h"

namespace kvx::fs {

using namespace detail;

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
    auto item = openNoFollow(path, kRemovalAccess);
    if (item.isError()) {
        if (isNotFoundError(item.peekError())) {
            return Ok(false);
        }
        return Err(item.unwrapError());
    }
    if (const OsError error = deleteByHandle(item.peek().get()); error != ERROR_SUCCESS) {
        return Err(error);
    }
    return Ok(true);
}

Result<bool, OsError> Filesystem::removeDirectory(const Path& path, bool recursive) {
    if (!recursive) {
        return remove(path);
    }
    // Worked from handles: the elevated removal never enters a link, not even one swapped in for a
    // folder after it was listed.
    auto root = openNoFollow(path, kRemovalAccess);
    if (root.isError()) {
        if (isNotFoundError(root.peekError())) {
            return Ok(false);
        }
        return Err(root.unwrapError());
    }
    if (const OsError error = removeTree(*removalNode(root.unwrap())); error != ERROR_SUCCESS) {
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
