#include "support/FakeSymlinkFilesystem.h"

#include <cwctype>

namespace kvx::test {

namespace {

constexpr fs::OsError kErrorPathNotFound = 3;
constexpr fs::OsError kErrorAlreadyExists = 183;
// Links in a chain are followed at most this often, like the system's own limit.
constexpr int kMaxLinkHops = 31;

bool isBelow(const std::wstring& key, const std::wstring& folderKey) {
    return key.size() > folderKey.size() && key.starts_with(folderKey) && key[folderKey.size()] == L'\\';
}

}  // namespace

void FakeSymlinkFilesystem::failLinkCreation(fs::OsError error, int times) {
    std::lock_guard lock(mMutex);
    mCreationError = error;
    mCreationFailuresLeft = times;
}

std::optional<FakeSymlinkFilesystem::Link> FakeSymlinkFilesystem::link(const fs::Path& path) const {
    std::lock_guard lock(mMutex);
    const auto found = mLinks.find(key(followParent(path)));
    return found == mLinks.end() ? std::nullopt : std::optional<Link>(found->second);
}

int FakeSymlinkFilesystem::linkCreationAttempts() const {
    std::lock_guard lock(mMutex);
    return mCreationAttempts;
}

fs::Path FakeSymlinkFilesystem::full(const fs::Path& path) const {
    auto absolute = inner().absolute(path);
    return absolute.isOk() ? absolute.unwrap() : path;
}

std::wstring FakeSymlinkFilesystem::key(const fs::Path& path) const {
    std::wstring text = full(path).wide();
    for (wchar_t& c : text) {
        c = c == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(c));
    }
    while (text.size() > 3 && text.back() == L'\\') {
        text.pop_back();
    }
    return text;
}

fs::Path FakeSymlinkFilesystem::follow(const fs::Path& path) const {
    std::lock_guard lock(mMutex);
    fs::Path current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        const std::wstring currentKey = key(current);
        const Link* best = nullptr;
        size_t bestLength = 0;
        for (const auto& [linkKey, link] : mLinks) {
            if ((linkKey == currentKey || isBelow(currentKey, linkKey)) && linkKey.size() > bestLength) {
                best = &link;
                bestLength = linkKey.size();
            }
        }
        if (best == nullptr) {
            return current;
        }
        const fs::Path target = full(best->path.parent() / best->storedTarget);
        current = fs::Path(target.wide() + full(current).wide().substr(bestLength));
    }
    return current;
}

fs::Path FakeSymlinkFilesystem::followParent(const fs::Path& path) const {
    const fs::Path parent = path.parent();
    return parent.empty() || parent == path ? path : follow(parent) / path.filename();
}

bool FakeSymlinkFilesystem::occupied(const fs::Path& path) const {
    auto existing = inner().symlinkStatus(path);
    return mLinks.contains(key(path)) ||
           (existing.isOk() && existing.peek().type() != std::filesystem::file_type::not_found);
}

Result<void, fs::OsError> FakeSymlinkFilesystem::createDirectorySymlink(const fs::Path& target,
                                                                        const fs::Path& link) {
    std::lock_guard lock(mMutex);
    ++mCreationAttempts;
    if (mCreationFailuresLeft > 0) {
        --mCreationFailuresLeft;
        return Err(mCreationError);
    }
    const fs::Path linkPath = followParent(link);
    if (occupied(linkPath)) {
        return Err(kErrorAlreadyExists);
    }
    if (!inner().isDirectory(linkPath.parent())) {
        return Err(kErrorPathNotFound);
    }
    mLinks.insert_or_assign(key(linkPath), Link{full(linkPath), target});
    return Ok();
}

Result<fs::file_status, fs::OsError> FakeSymlinkFilesystem::symlinkStatus(const fs::Path& path) {
    if (link(path)) {
        return Ok(fs::file_status(std::filesystem::file_type::symlink, std::filesystem::perms::all));
    }
    return inner().symlinkStatus(followParent(path));
}

Result<bool, fs::OsError> FakeSymlinkFilesystem::remove(const fs::Path& path) {
    {
        std::lock_guard lock(mMutex);
        if (mLinks.erase(key(followParent(path))) != 0) {
            return Ok(true);
        }
    }
    return inner().remove(followParent(path));
}

Result<void, fs::OsError> FakeSymlinkFilesystem::rename(const fs::Path& from, const fs::Path& to) {
    std::lock_guard lock(mMutex);
    const fs::Path source = followParent(from);
    const fs::Path destination = followParent(to);
    auto moving = mLinks.find(key(source));
    if (moving == mLinks.end() && !mLinks.contains(key(destination))) {
        return inner().rename(source, destination);
    }
    if (occupied(destination)) {
        return Err(kErrorAlreadyExists);
    }
    Link moved{full(destination), moving->second.storedTarget};
    mLinks.erase(moving);
    mLinks.insert_or_assign(key(destination), moved);
    return Ok();
}

Result<fs::Path, fs::OsError> FakeSymlinkFilesystem::readSymlink(const fs::Path& path) {
    if (auto recorded = link(path)) {
        return Ok(recorded->storedTarget);
    }
    return inner().readSymlink(followParent(path));
}

}  // namespace kvx::test
