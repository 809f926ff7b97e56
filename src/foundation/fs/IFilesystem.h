#pragma once
// Its method list is a fixed contract: methods that nothing here calls yet stay.
// All file and folder access of the program goes through this interface; the process-wide
// implementation can be replaced (tests stand in for what Wine cannot do, such as directory links).
// Every error is the Windows error code.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "foundation/Result.h"
#include "foundation/fs/FileStream.h"
#include "foundation/fs/Path.h"

namespace kvx::fs {

using OsError = uint32_t;

// The errors that mean nothing is at the path: where `exists` answers false instead of failing.
bool isNotFoundError(OsError error);
using file_status = std::filesystem::file_status;

enum class ItrCtrl { Continue, Stop };
// A walk callback answers continue/stop, or an error text that ends the walk.
using IterationResult = std::variant<ItrCtrl, std::string>;
using IterationCallback = std::function<IterationResult(const Path& entry, const file_status& status)>;

class IFilesystem {
public:
    virtual ~IFilesystem() = default;
    virtual Result<std::unique_ptr<IFileStream>, OsError> open(const Path& path, FileAccess access,
                                                                CreateDisposition disposition,
                                                                uint32_t shareFlags) = 0;
    virtual Result<bool, OsError> exists(const Path& path) = 0;
    virtual Result<bool, OsError> equivalent(const Path& a, const Path& b) = 0;
    virtual Result<bool, OsError> createDirectories(const Path& path) = 0;
    virtual Result<uint64_t, OsError> fileSize(const Path& path) = 0;
    virtual Result<file_status, OsError> status(const Path& path) = 0;
    virtual Result<file_status, OsError> symlinkStatus(const Path& path) = 0;
    virtual Result<bool, OsError> remove(const Path& path) = 0;
    virtual Result<bool, OsError> removeDirectory(const Path& path, bool recursive) = 0;
    virtual Result<void, OsError> setPermissions(const Path& path, std::filesystem::perms perms) = 0;
    virtual Result<void, OsError> rename(const Path& from, const Path& to) = 0;
    virtual Result<bool, OsError> isEmpty(const Path& path) = 0;
    virtual Result<int64_t, OsError> lastWriteTime(const Path& path) = 0;
    virtual Result<Path, OsError> tempDirectory() = 0;
    virtual Result<Path, OsError> executablePath() = 0;
    virtual Result<Path, OsError> absolute(const Path& path) = 0;
    virtual Result<Path, OsError> canonical(const Path& path) = 0;
    virtual Result<Path, OsError> weaklyCanonical(const Path& path) = 0;
    virtual Result<void, OsError> createFileSymlink(const Path& target, const Path& link) = 0;
    virtual Result<void, OsError> createDirectorySymlink(const Path& target, const Path& link) = 0;
    virtual Result<Path, OsError> readSymlink(const Path& link) = 0;
    virtual Result<bool, OsError> copyFile(const Path& from, const Path& to, std::filesystem::copy_options options) = 0;
    virtual Result<void, OsError> copyDirectory(const Path& from, const Path& to, std::filesystem::copy_options a,
                                                std::filesystem::copy_options b,
                                                std::filesystem::copy_options c) = 0;
    virtual Result<void, OsError> copySymlink(const Path& from, const Path& to) = 0;
    virtual Result<IterationResult, OsError> iterate(const Path& folder, const IterationCallback& callback) = 0;
    virtual Result<IterationResult, OsError> iterateRecursive(const Path& folder,
                                                              const IterationCallback& callback) = 0;

    // Convenience built on status(): false on any error.
    bool isDirectory(const Path& path);
};

// The process-wide filesystem (the Win32 implementation unless replaced).
IFilesystem& filesystem();
// Replaces the process-wide filesystem; returns the previous replacement (null: the default).
std::shared_ptr<IFilesystem> setFilesystem(std::shared_ptr<IFilesystem> replacement);

}  // namespace kvx::fs
