// Copies and folder walks.
#include <system_error>

#include "foundation/fs/DefaultFileStream.h"
#include "foundation/fs/Filesystem.h"
#include "foundation/fs/Win32Paths.h"

namespace kvx::fs {

using namespace detail;

namespace {

OsError lastError() {
    return static_cast<OsError>(GetLastError());
}

bool hasOption(std::filesystem::copy_options options, std::filesystem::copy_options option) {
    return (options & option) != std::filesystem::copy_options::none;
}

file_status entryStatus(const WIN32_FIND_DATAW& data) {
    const bool isReparse = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    return statusFromAttributes(data.dwFileAttributes, isReparse && isLinkTag(data.dwReserved0));
}

// Pre-order walk; links to folders are reported but never entered.
Result<IterationResult, OsError> walk(const Path& folder, const IterationCallback& callback, bool recursive) {
    WIN32_FIND_DATAW data{};
    FindHandle find(FindFirstFileW((win32Path(folder) + L"\\*").c_str(), &data));
    if (!find.valid()) {
        return Err(lastError());
    }
    do {
        const std::wstring_view name = data.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        const Path entry = folder / Path(std::wstring(name));
        const file_status status = entryStatus(data);
        IterationResult answer = callback(entry, status);
        if (!std::holds_alternative<ItrCtrl>(answer) || std::get<ItrCtrl>(answer) == ItrCtrl::Stop) {
            return Ok(std::move(answer));
        }
        if (recursive && status.type() == std::filesystem::file_type::directory) {
            auto inner = walk(entry, callback, true);
            if (inner.isError() || !std::holds_alternative<ItrCtrl>(inner.peek()) ||
                std::get<ItrCtrl>(inner.peek()) == ItrCtrl::Stop) {
                return inner;
            }
        }
    } while (FindNextFileW(find.get(), &data));
    const OsError error = lastError();
    if (error != ERROR_NO_MORE_FILES) {
        return Err(error);
    }
    return Ok(IterationResult(ItrCtrl::Continue));
}

}  // namespace

Result<std::unique_ptr<IFileStream>, OsError> Filesystem::open(const Path& path, FileAccess access,
                                                               CreateDisposition disposition,
                                                               uint32_t shareFlags) {
    return DefaultFileStream::open(path, access, disposition, shareFlags);
}

Result<bool, OsError> Filesystem::copyFile(const Path& from, const Path& to,
                                           std::filesystem::copy_options options) {
    using std::filesystem::copy_options;
    auto destination = status(to);
    if (destination.isError()) {
        return Err(destination.unwrapError());
    }
    if (destination.peek().type() != std::filesystem::file_type::not_found) {
        if (hasOption(options, copy_options::skip_existing)) {
            return Ok(false);
        }
        if (hasOption(options, copy_options::update_existing)) {
            auto source = lastWriteTime(from);
            auto target = lastWriteTime(to);
            if (source.isError()) {
                return Err(source.unwrapError());
            }
            if (target.isOk() && source.peek() <= target.peek()) {
                return Ok(false);
            }
        } else if (!hasOption(options, copy_options::overwrite_existing)) {
            return Err(static_cast<OsError>(ERROR_FILE_EXISTS));
        }
    }
    if (!CopyFileW(win32Path(from).c_str(), win32Path(to).c_str(), FALSE)) {
        return Err(lastError());
    }
    return Ok(true);
}

Result<void, OsError> Filesystem::copyDirectory(const Path& from, const Path& to,
                                                std::filesystem::copy_options a,
                                                std::filesystem::copy_options b,
                                                std::filesystem::copy_options c) {
    auto source = status(from);
    if (source.isError()) {
        return Err(source.unwrapError());
    }
    const auto type = source.peek().type();
    if (type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::directory) {
        return Err(static_cast<OsError>(ERROR_DIRECTORY));
    }
    std::error_code error;
    std::filesystem::copy(from.std(), to.std(), a | b | c, error);
    if (error) {
        return Err(static_cast<OsError>(error.value()));
    }
    return Ok();
}

Result<IterationResult, OsError> Filesystem::iterate(const Path& folder, const IterationCallback& callback) {
    return walk(folder, callback, false);
}

Result<IterationResult, OsError> Filesystem::iterateRecursive(const Path& folder,
                                                              const IterationCallback& callback) {
    return walk(folder, callback, true);
}

}  // namespace kvx::fs
