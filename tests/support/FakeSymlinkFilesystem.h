#pragma once
// Stands in for symbolic links where the system under test cannot make them (Wine 8 creates no
// directory links): links live in memory, everything else goes to the wrapped filesystem. A path
// through a recorded link is redirected to the link's resolved target by the operations that
// follow links; symlinkStatus, remove, readSymlink and rename act on the link itself. Operations
// not overridden here (listings among them) see no links. Install it with ScopedFilesystem.

#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "support/ForwardingFilesystem.h"

namespace kvx::test {

class FakeSymlinkFilesystem final : public ForwardingFilesystem {
public:
    struct Link {
        fs::Path path;          // as it was created (full form)
        fs::Path storedTarget;  // exactly as given, possibly relative
    };

    using ForwardingFilesystem::ForwardingFilesystem;

    // The next `times` link creations fail with `error` and record nothing.
    void failLinkCreation(fs::OsError error, int times = 1);
    std::optional<Link> link(const fs::Path& path) const;
    // Every link creation attempted, failed ones included.
    int linkCreationAttempts() const;
    // Opening a path that ends in `name` throws, as a failed check would (empty: none does). Set it
    // while no other thread opens files.
    void throwOnOpen(std::wstring name) { mThrowOnOpen = std::move(name); }

    Result<std::unique_ptr<fs::IFileStream>, fs::OsError> open(const fs::Path& path, fs::FileAccess access,
                                                               fs::CreateDisposition disposition,
                                                               uint32_t shareFlags) override {
        if (!mThrowOnOpen.empty() && path.wide().ends_with(mThrowOnOpen)) {
            throw std::logic_error("Unwrapping error/invalid as success");
        }
        return inner().open(follow(path), access, disposition, shareFlags);
    }
    Result<bool, fs::OsError> exists(const fs::Path& path) override { return inner().exists(follow(path)); }
    Result<uint64_t, fs::OsError> fileSize(const fs::Path& path) override {
        return inner().fileSize(follow(path));
    }
    Result<fs::file_status, fs::OsError> status(const fs::Path& path) override {
        return inner().status(follow(path));
    }
    Result<fs::file_status, fs::OsError> symlinkStatus(const fs::Path& path) override;
    Result<bool, fs::OsError> remove(const fs::Path& path) override;
    Result<void, fs::OsError> rename(const fs::Path& from, const fs::Path& to) override;
    Result<fs::Path, fs::OsError> canonical(const fs::Path& path) override {
        return inner().canonical(follow(path));
    }
    Result<fs::Path, fs::OsError> weaklyCanonical(const fs::Path& path) override {
        return inner().weaklyCanonical(follow(path));
    }
    Result<void, fs::OsError> createDirectorySymlink(const fs::Path& target, const fs::Path& link) override;
    Result<fs::Path, fs::OsError> readSymlink(const fs::Path& link) override;

private:
    std::wstring mThrowOnOpen;
    std::wstring key(const fs::Path& path) const;
    fs::Path full(const fs::Path& path) const;
    // Every recorded link on the way (the path itself included) replaced by its target.
    fs::Path follow(const fs::Path& path) const;
    // Links among the parents followed, the last component left as it is.
    fs::Path followParent(const fs::Path& path) const;
    // A recorded link or anything on disk at the path.
    bool occupied(const fs::Path& path) const;

    mutable std::recursive_mutex mMutex;
    std::map<std::wstring, Link> mLinks;  // by lower-case full path
    fs::OsError mCreationError = 0;
    int mCreationFailuresLeft = 0;
    int mCreationAttempts = 0;
};

}  // namespace kvx::test
