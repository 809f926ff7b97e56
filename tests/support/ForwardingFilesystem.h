#pragma once
// Passes every operation to another filesystem (the real one by default). Tests derive from it and
// override only the operations they need to fail or observe.

#include <memory>

#include "foundation/fs/Filesystem.h"

namespace kvx::test {

// An override that hands its arguments on unchanged.
#define KVX_FORWARD(Type, name, params, args)        \
    Result<Type, fs::OsError> name params override { \
        return mInner->name args;                    \
    }

class ForwardingFilesystem : public fs::IFilesystem {
public:
    using Path = fs::Path;
    using CopyOptions = std::filesystem::copy_options;

    explicit ForwardingFilesystem(std::shared_ptr<fs::IFilesystem> inner = std::make_shared<fs::Filesystem>())
        : mInner(std::move(inner)) {}

    KVX_FORWARD(std::unique_ptr<fs::IFileStream>, open,
                (const Path& p, fs::FileAccess a, fs::CreateDisposition d, uint32_t s), (p, a, d, s))
    KVX_FORWARD(bool, exists, (const Path& p), (p))
    KVX_FORWARD(bool, equivalent, (const Path& a, const Path& b), (a, b))
    KVX_FORWARD(bool, createDirectories, (const Path& p), (p))
    KVX_FORWARD(uint64_t, fileSize, (const Path& p), (p))
    KVX_FORWARD(fs::file_status, status, (const Path& p), (p))
    KVX_FORWARD(fs::file_status, symlinkStatus, (const Path& p), (p))
    KVX_FORWARD(bool, remove, (const Path& p), (p))
    KVX_FORWARD(bool, removeDirectory, (const Path& p, bool recursive), (p, recursive))
    KVX_FORWARD(void, setPermissions, (const Path& p, std::filesystem::perms perms), (p, perms))
    KVX_FORWARD(void, rename, (const Path& from, const Path& to), (from, to))
    KVX_FORWARD(bool, isEmpty, (const Path& p), (p))
    KVX_FORWARD(int64_t, lastWriteTime, (const Path& p), (p))
    KVX_FORWARD(Path, tempDirectory, (), ())
    KVX_FORWARD(Path, executablePath, (), ())
    KVX_FORWARD(Path, absolute, (const Path& p), (p))
    KVX_FORWARD(Path, canonical, (const Path& p), (p))
    KVX_FORWARD(Path, weaklyCanonical, (const Path& p), (p))
    KVX_FORWARD(void, createFileSymlink, (const Path& target, const Path& link), (target, link))
    KVX_FORWARD(void, createDirectorySymlink, (const Path& target, const Path& link), (target, link))
    KVX_FORWARD(Path, readSymlink, (const Path& link), (link))
    KVX_FORWARD(bool, copyFile, (const Path& from, const Path& to, CopyOptions options), (from, to, options))
    KVX_FORWARD(void, copyDirectory,
                (const Path& from, const Path& to, CopyOptions a, CopyOptions b, CopyOptions c),
                (from, to, a, b, c))
    KVX_FORWARD(void, copySymlink, (const Path& from, const Path& to), (from, to))
    KVX_FORWARD(fs::IterationResult, iterate, (const Path& folder, const fs::IterationCallback& callback),
                (folder, callback))
    KVX_FORWARD(fs::IterationResult, iterateRecursive,
                (const Path& folder, const fs::IterationCallback& callback), (folder, callback))

protected:
    fs::IFilesystem& inner() const { return *mInner; }

private:
    std::shared_ptr<fs::IFilesystem> mInner;
};

#undef KVX_FORWARD

}  // namespace kvx::test
