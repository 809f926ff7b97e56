// Path queries: full, final and special paths.
#include <vector>

#include "foundation/fs/Filesystem.h"
#include "foundation/fs/HandleOpen.h"
#include "foundation/fs/Win32Handles.h"
#include "foundation/fs/Win32Paths.h"

namespace kvx::fs {

using namespace detail;

namespace {

constexpr DWORD kExecutablePathBufferSize = 2048;

// The name Windows ends up at after every link, without the "\\?\" it reports it with.
Result<Path, OsError> finalPath(const Path& path) {
    FileHandle handle = openForAttributes(path, true);
    if (!handle.valid()) {
        return Err(detail::lastOsError());
    }
    auto name = finalPathOf(handle.get());
    if (name.isError()) {
        return Err(name.unwrapError());
    }
    return Ok(Path(name.unwrap()));
}

}  // namespace

Result<Path, OsError> Filesystem::absolute(const Path& path) {
    auto full = fullPathName(path.wide());
    if (full.isError()) {
        return Err(full.unwrapError());
    }
    return Ok(Path(full.unwrap()));
}

Result<Path, OsError> Filesystem::canonical(const Path& path) {
    return finalPath(path);
}

Result<Path, OsError> Filesystem::weaklyCanonical(const Path& path) {
    std::filesystem::path existing = path.std();
    std::filesystem::path rest;
    for (;;) {
        auto found = exists(Path(existing));
        if (found.isError()) {
            return Err(found.unwrapError());
        }
        if (found.peek()) {
            auto head = finalPath(Path(existing));
            if (head.isError()) {
                return Err(head.unwrapError());
            }
            return Ok(Path(rest.empty() ? head.peek().std() : (head.peek().std() / rest).lexically_normal()));
        }
        const std::filesystem::path parent = existing.parent_path();
        if (parent.empty() || parent == existing) {
            return Ok(Path(path.std().lexically_normal()));
        }
        rest = rest.empty() ? existing.filename() : existing.filename() / rest;
        existing = parent;
    }
}

Result<Path, OsError> Filesystem::tempDirectory() {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length > buffer.size()) {
        buffer.resize(length);
        length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    if (length == 0 || length > buffer.size()) {
        return Err(detail::lastOsError());
    }
    std::wstring text(buffer.data(), length);
    if (text.size() > 3 && (text.back() == L'\\' || text.back() == L'/')) {
        text.pop_back();
    }
    Path folder(std::move(text));
    auto folderStatus = status(folder);
    if (folderStatus.isError()) {
        return Err(folderStatus.unwrapError());
    }
    if (folderStatus.peek().type() != std::filesystem::file_type::directory) {
        return Err(static_cast<OsError>(ERROR_DIRECTORY));
    }
    return Ok(std::move(folder));
}

Result<Path, OsError> Filesystem::executablePath() {
    std::vector<wchar_t> modulePath(kExecutablePathBufferSize);
    const DWORD moduleLength = GetModuleFileNameW(nullptr, modulePath.data(), kExecutablePathBufferSize);
    if (moduleLength == 0 || moduleLength >= kExecutablePathBufferSize) {
        return Err(moduleLength == 0 ? detail::lastOsError() : static_cast<OsError>(ERROR_INSUFFICIENT_BUFFER));
    }
    std::vector<wchar_t> longPath(kExecutablePathBufferSize);
    const DWORD longLength = GetLongPathNameW(modulePath.data(), longPath.data(), kExecutablePathBufferSize);
    if (longLength == 0 || longLength >= kExecutablePathBufferSize) {
        return Err(longLength == 0 ? detail::lastOsError() : static_cast<OsError>(ERROR_INSUFFICIENT_BUFFER));
    }
    return Ok(Path(std::wstring(longPath.data(), longLength)));
}

}  // namespace kvx::fs
