#pragma once
// Stands in for symbolic links where the system under test cannot make them (Wine 8 creates no
// directory links): links live in memory, everything else goes to the wrapped filesystem. A path
// through a recorded link (the link itself, or something below it) is redirected to the link's
// resolved target for every operation that follows links; operations on "the link itself"
// (symlinkStatus, remove, removeDirectory, readSymlink, rename, copySymlink) act on the record.
// Install it with ScopedFilesystem.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "foundation/fs/IFilesystem.h"

namespace kvx::test {

class FakeSymlinkFilesystem final : public fs::IFilesystem {
public:
    struct Link {
        fs::Path path;          // as it was created (full form)
        fs::Path storedTarget;  // exactly as given, possibly relative
        bool isDirectory;
    };

    // Wraps the real Win32 filesystem unless another one is given.
    explicit FakeSymlinkFilesystem(std::shared_ptr<fs::IFilesystem> inner = nullptr);

    // The next `times` link creations fail with `error` and record nothing.
    void failLinkCreation(fs::OsError error, int times = 1);
    bool isRecordedLink(const fs::Path& path) const;
    std::optional<Link> link(const fs::Path& path) const;
    size_t linkCount() const;
    // Every link creation attempted, failed ones included.
    int linkCreationAttempts() const;

    Result<std::unique_ptr<fs::IFileStream>, fs::OsError> open(const fs::Path& path, fs::FileAccess access,
                                                               fs::CreateDisposition disposition,
                                                               uint32_t shareFlags) override;
    Result<bool, fs::OsError> exists(const fs::Path& path) override;
    Result<bool, fs::OsError> equivalent(const fs::Path& a, const fs::Path& b) override;
    Result<bool, fs::OsError> createDirectories(const fs::Path& path) override;
    Result<uint64_t, fs::OsError> fileSize(const fs::Path& path) override;
    Result<fs::file_status, fs::OsError> status(const fs::Path& path) override;
    Result<fs::file_status, fs::OsError> symlinkStatus(const fs::Path& path) override;
    Result<bool, fs::OsError> remove(const fs::Path& path) override;
    Result<bool, fs::OsError> removeDirectory(const fs::Path& path, bool recursive) override;
    Result<void, fs::OsError> setPermissions(const fs::Path& path, std::filesystem::perms perms) override;
    Result<void, fs::OsError> rename(const fs::Path& from, const fs::Path& to) override;
    Result<bool, fs::OsError> isEmpty(const fs::Path& path) override;
    Result<int64_t, fs::OsError> lastWriteTime(const fs::Path& path) override;
    Result<fs::Path, fs::OsError> tempDirectory() override;
    Result<fs::Path, fs::OsError> executablePath() override;
    Result<fs::Path, fs::OsError> absolute(const fs::Path& path) override;
    Result<fs::Path, fs::OsError> canonical(const fs::Path& path) override;
    Result<fs::Path, fs::OsError> weaklyCanonical(const fs::Path& path) override;
    Result<void, fs::OsError> createFileSymlink(const fs::Path& target, const fs::Path& link) override;
    Result<void, fs::OsError> createDirectorySymlink(const fs::Path& target, const fs::Path& link) override;
    Result<fs::Path, fs::OsError> readSymlink(const fs::Path& link) override;
    Result<bool, fs::OsError> copyFile(const fs::Path& from, const fs::Path& to,
                                       std::filesystem::copy_options options) override;
    Result<void, fs::OsError> copyDirectory(const fs::Path& from, const fs::Path& to,
                                            std::filesystem::copy_options a, std::filesystem::copy_options b,
                                            std::filesystem::copy_options c) override;
    Result<void, fs::OsError> copySymlink(const fs::Path& from, const fs::Path& to) override;
    Result<fs::IterationResult, fs::OsError> iterate(const fs::Path& folder,
                                                     const fs::IterationCallback& callback) override;
    Result<fs::IterationResult, fs::OsError> iterateRecursive(const fs::Path& folder,
                                                              const fs::IterationCallback& callback) override;

private:
    std::wstring key(const fs::Path& path) const;
    std::optional<Link> findLink(const std::wstring& key) const;
    // Every recorded link on the way (the path itself included) replaced by its target.
    fs::Path follow(const fs::Path& path) const;
    // Links among the parents followed, the last component left as it is.
    fs::Path followParent(const fs::Path& path) const;
    fs::Path resolvedTarget(const Link& link) const;
    Result<void, fs::OsError> createLink(const fs::Path& target, const fs::Path& link, bool isDirectory);
    void forgetLinksBelow(const std::wstring& folderKey);
    void moveLinksBelow(const std::wstring& fromKey, const fs::Path& to);

    std::shared_ptr<fs::IFilesystem> mInner;
    mutable std::recursive_mutex mMutex;
    std::map<std::wstring, Link> mLinks;  // by lower-case full path
    std::optional<fs::OsError> mCreationError;
    int mCreationFailuresLeft = 0;
    int mCreationAttempts = 0;
};

}  // namespace kvx::test
