#pragma once
// Passes every operation to another filesystem (the real one by default). Tests derive from it and
// override only the operations they need to fail or observe.

#include <memory>

#include "foundation/fs/Filesystem.h"

namespace kvx::test {

class ForwardingFilesystem : public fs::IFilesystem {
public:
    explicit ForwardingFilesystem(std::shared_ptr<fs::IFilesystem> inner = std::make_shared<fs::Filesystem>())
        : mInner(std::move(inner)) {}

    Result<std::unique_ptr<fs::IFileStream>, fs::OsError> open(const fs::Path& path, fs::FileAccess access,
                                                               fs::CreateDisposition disposition,
                                                               uint32_t shareFlags) override {
        return mInner->open(path, access, disposition, shareFlags);
    }
    Result<bool, fs::OsError> exists(const fs::Path& path) override { return mInner->exists(path); }
    Result<bool, fs::OsError> equivalent(const fs::Path& a, const fs::Path& b) override {
        return mInner->equivalent(a, b);
    }
    Result<bool, fs::OsError> createDirectories(const fs::Path& path) override {
        return mInner->createDirectories(path);
    }
    Result<uint64_t, fs::OsError> fileSize(const fs::Path& path) override { return mInner->fileSize(path); }
    Result<fs::file_status, fs::OsError> status(const fs::Path& path) override {
        return mInner->status(path);
    }
    Result<fs::file_status, fs::OsError> symlinkStatus(const fs::Path& path) override {
        return mInner->symlinkStatus(path);
    }
    Result<bool, fs::OsError> remove(const fs::Path& path) override { return mInner->remove(path); }
    Result<bool, fs::OsError> removeDirectory(const fs::Path& path, bool recursive) override {
        return mInner->removeDirectory(path, recursive);
    }
    Result<void, fs::OsError> setPermissions(const fs::Path& path, std::filesystem::perms perms) override {
        return mInner->setPermissions(path, perms);
    }
    Result<void, fs::OsError> rename(const fs::Path& from, const fs::Path& to) override {
        return mInner->rename(from, to);
    }
    Result<bool, fs::OsError> isEmpty(const fs::Path& path) override { return mInner->isEmpty(path); }
    Result<int64_t, fs::OsError> lastWriteTime(const fs::Path& path) override {
        return mInner->lastWriteTime(path);
    }
    Result<fs::Path, fs::OsError> tempDirectory() override { return mInner->tempDirectory(); }
    Result<fs::Path, fs::OsError> executablePath() override { return mInner->executablePath(); }
    Result<fs::Path, fs::OsError> absolute(const fs::Path& path) override { return mInner->absolute(path); }
    Result<fs::Path, fs::OsError> canonical(const fs::Path& path) override { return mInner->canonical(path); }
    Result<fs::Path, fs::OsError> weaklyCanonical(const fs::Path& path) override {
        return mInner->weaklyCanonical(path);
    }
    Result<void, fs::OsError> createFileSymlink(const fs::Path& target, const fs::Path& link) override {
        return mInner->createFileSymlink(target, link);
    }
    Result<void, fs::OsError> createDirectorySymlink(const fs::Path& target, const fs::Path& link) override {
        return mInner->createDirectorySymlink(target, link);
    }
    Result<fs::Path, fs::OsError> readSymlink(const fs::Path& link) override {
        return mInner->readSymlink(link);
    }
    Result<bool, fs::OsError> copyFile(const fs::Path& from, const fs::Path& to,
                                       std::filesystem::copy_options options) override {
        return mInner->copyFile(from, to, options);
    }
    Result<void, fs::OsError> copyDirectory(const fs::Path& from, const fs::Path& to,
                                            std::filesystem::copy_options a, std::filesystem::copy_options b,
                                            std::filesystem::copy_options c) override {
        return mInner->copyDirectory(from, to, a, b, c);
    }
    Result<void, fs::OsError> copySymlink(const fs::Path& from, const fs::Path& to) override {
        return mInner->copySymlink(from, to);
    }
    Result<fs::IterationResult, fs::OsError> iterate(const fs::Path& folder,
                                                     const fs::IterationCallback& callback) override {
        return mInner->iterate(folder, callback);
    }
    Result<fs::IterationResult, fs::OsError> iterateRecursive(
        const fs::Path& folder, const fs::IterationCallback& callback) override {
        return mInner->iterateRecursive(folder, callback);
    }

protected:
    fs::IFilesystem& inner() const { return *mInner; }

private:
    std::shared_ptr<fs::IFilesystem> mInner;
};

}  // namespace kvx::test
