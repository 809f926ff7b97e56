#pragma once
// The Win32 implementation of IFilesystem. It has no state, so one instance serves every thread.

#include "foundation/fs/IFilesystem.h"

namespace kvx::fs {

class Filesystem final : public IFilesystem {
public:
    Result<std::unique_ptr<IFileStream>, OsError> open(const Path& path, FileAccess access,
                                                       CreateDisposition disposition,
                                                       uint32_t shareFlags) override;
    Result<bool, OsError> exists(const Path& path) override;
    Result<bool, OsError> equivalent(const Path& a, const Path& b) override;
    Result<bool, OsError> createDirectories(const Path& path) override;
    Result<uint64_t, OsError> fileSize(const Path& path) override;
    Result<file_status, OsError> status(const Path& path) override;
    Result<file_status, OsError> symlinkStatus(const Path& path) override;
    Result<bool, OsError> remove(const Path& path) override;
    Result<bool, OsError> removeDirectory(const Path& path, bool recursive) override;
    Result<void, OsError> setPermissions(const Path& path, std::filesystem::perms perms) override;
    Result<void, OsError> rename(const Path& from, const Path& to) override;
    Result<bool, OsError> isEmpty(const Path& path) override;
    Result<int64_t, OsError> lastWriteTime(const Path& path) override;
    Result<Path, OsError> tempDirectory() override;
    Result<Path, OsError> executablePath() override;
    Result<Path, OsError> absolute(const Path& path) override;
    Result<Path, OsError> canonical(const Path& path) override;
    Result<Path, OsError> weaklyCanonical(const Path& path) override;
    Result<void, OsError> createFileSymlink(const Path& target, const Path& link) override;
    Result<void, OsError> createDirectorySymlink(const Path& target, const Path& link) override;
    Result<Path, OsError> readSymlink(const Path& link) override;
    Result<bool, OsError> copyFile(const Path& from, const Path& to,
                                   std::filesystem::copy_options options) override;
    Result<void, OsError> copyDirectory(const Path& from, const Path& to, std::filesystem::copy_options a,
                                        std::filesystem::copy_options b,
                                        std::filesystem::copy_options c) override;
    Result<void, OsError> copySymlink(const Path& from, const Path& to) override;
    Result<IterationResult, OsError> iterate(const Path& folder, const IterationCallback& callback) override;
    Result<IterationResult, OsError> iterateRecursive(const Path& folder,
                                                      const IterationCallback& callback) override;
};

}  // namespace kvx::fs
