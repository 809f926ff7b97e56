#include "support/FakeSymlinkFilesystem.h"

#include <cwctype>
#include <utility>
#include <vector>

#include "foundation/fs/Filesystem.h"

namespace kvx::test {

namespace {

constexpr fs::OsError kErrorPathNotFound = 3;
constexpr fs::OsError kErrorAlreadyExists = 183;
// Links in a chain are followed at most this often, like the system's own limit.
constexpr int kMaxLinkHops = 31;

fs::file_status linkStatus() {
    return fs::file_status(std::filesystem::file_type::symlink, std::filesystem::perms::all);
}

bool isBelow(const std::wstring& key, const std::wstring& folderKey) {
    return key.size() > folderKey.size() && key.starts_with(folderKey) && key[folderKey.size()] == L'\\';
}

}  // namespace

FakeSymlinkFilesystem::FakeSymlinkFilesystem(std::shared_ptr<fs::IFilesystem> inner)
    : mInner(inner ? std::move(inner) : std::make_shared<fs::Filesystem>()) {}

void FakeSymlinkFilesystem::failLinkCreation(fs::OsError error, int times) {
    std::lock_guard lock(mMutex);
    mCreationError = error;
    mCreationFailuresLeft = times;
}

bool FakeSymlinkFilesystem::isRecordedLink(const fs::Path& path) const {
    return link(path).has_value();
}

std::optional<FakeSymlinkFilesystem::Link> FakeSymlinkFilesystem::link(const fs::Path& path) const {
    return findLink(key(followParent(path)));
}

size_t FakeSymlinkFilesystem::linkCount() const {
    std::lock_guard lock(mMutex);
    return mLinks.size();
}

int FakeSymlinkFilesystem::linkCreationAttempts() const {
    std::lock_guard lock(mMutex);
    return mCreationAttempts;
}

std::wstring FakeSymlinkFilesystem::key(const fs::Path& path) const {
    auto full = mInner->absolute(path);
    std::wstring text = full.isOk() ? full.peek().wide() : path.wide();
    for (wchar_t& c : text) {
        c = c == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(c));
    }
    while (text.size() > 3 && text.back() == L'\\') {
        text.pop_back();
    }
    return text;
}

std::optional<FakeSymlinkFilesystem::Link> FakeSymlinkFilesystem::findLink(
    const std::wstring& linkKey) const {
    std::lock_guard lock(mMutex);
    const auto found = mLinks.find(linkKey);
    return found == mLinks.end() ? std::nullopt : std::optional<Link>(found->second);
}

fs::Path FakeSymlinkFilesystem::resolvedTarget(const Link& link) const {
    const fs::Path joined = link.path.parent() / link.storedTarget;
    auto full = mInner->absolute(joined);
    return full.isOk() ? full.unwrap() : joined;
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
        auto full = mInner->absolute(current);
        const std::wstring text = full.isOk() ? full.peek().wide() : current.wide();
        current = fs::Path(resolvedTarget(*best).wide() + text.substr(bestLength));
    }
    return current;
}

fs::Path FakeSymlinkFilesystem::followParent(const fs::Path& path) const {
    const fs::Path parent = path.parent();
    if (parent.empty() || parent == path) {
        return path;
    }
    return follow(parent) / path.filename();
}

void FakeSymlinkFilesystem::forgetLinksBelow(const std::wstring& folderKey) {
    std::lock_guard lock(mMutex);
    std::erase_if(mLinks, [&](const auto& entry) { return isBelow(entry.first, folderKey); });
}

void FakeSymlinkFilesystem::moveLinksBelow(const std::wstring& fromKey, const fs::Path& to) {
    std::lock_guard lock(mMutex);
    std::vector<std::pair<std::wstring, Link>> moved;
    for (auto it = mLinks.begin(); it != mLinks.end();) {
        if (isBelow(it->first, fromKey)) {
            Link link = it->second;
            link.path = fs::Path(to.wide() + link.path.wide().substr(fromKey.size()));
            moved.emplace_back(key(link.path), std::move(link));
            it = mLinks.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& [linkKey, link] : moved) {
        mLinks.insert_or_assign(linkKey, std::move(link));
    }
}

Result<void, fs::OsError> FakeSymlinkFilesystem::createLink(const fs::Path& target, const fs::Path& link,
                                                            bool isDirectory) {
    std::lock_guard lock(mMutex);
    ++mCreationAttempts;
    if (mCreationFailuresLeft > 0 && mCreationError) {
        --mCreationFailuresLeft;
        return Err(*mCreationError);
    }
    const fs::Path linkPath = followParent(link);
    auto existing = mInner->symlinkStatus(linkPath);
    if (findLink(key(linkPath)) ||
        (existing.isOk() && existing.peek().type() != std::filesystem::file_type::not_found)) {
        return Err(kErrorAlreadyExists);
    }
    if (!mInner->isDirectory(linkPath.parent())) {
        return Err(kErrorPathNotFound);
    }
    auto full = mInner->absolute(linkPath);
    mLinks.insert_or_assign(key(linkPath), Link{full.isOk() ? full.unwrap() : linkPath, target, isDirectory});
    return Ok();
}

Result<std::unique_ptr<fs::IFileStream>, fs::OsError> FakeSymlinkFilesystem::open(
    const fs::Path& path, fs::FileAccess access, fs::CreateDisposition disposition, uint32_t shareFlags) {
    return mInner->open(follow(path), access, disposition, shareFlags);
}

Result<bool, fs::OsError> FakeSymlinkFilesystem::exists(const fs::Path& path) {
    return mInner->exists(follow(path));
}

Result<bool, fs::OsError> FakeSymlinkFilesystem::equivalent(const fs::Path& a, const fs::Path& b) {
    return mInner->equivalent(follow(a), follow(b));
}

Result<bool, fs::OsError> FakeSymlinkFilesystem::createDirectories(const fs::Path& path) {
    return mInner->createDirectories(follow(path));
}

Result<uint64_t, fs::OsError> FakeSymlinkFilesystem::fileSize(const fs::Path& path) {
    return mInner->fileSize(follow(path));
}

Result<fs::file_status, fs::OsError> FakeSymlinkFilesystem::status(const fs::Path& path) {
    return mInner->status(follow(path));
}

Result<fs::file_status, fs::OsError> FakeSymlinkFilesystem::symlinkStatus(const fs::Path& path) {
    if (isRecordedLink(path)) {
        return Ok(linkStatus());
    }
    return mInner->symlinkStatus(followParent(path));
}

Result<bool, fs::OsError> FakeSymlinkFilesystem::remove(const fs::Path& path) {
    {
        std::lock_guard lock(mMutex);
        if (mLinks.erase(key(followParent(path))) != 0) {
            return Ok(true);
        }
    }
    return mInner->remove(followParent(path));
}

Result<bool, fs::OsError> FakeSymlinkFilesystem::removeDirectory(const fs::Path& path, bool recursive) {
    if (isRecordedLink(path)) {
        return remove(path);
    }
    const fs::Path real = followParent(path);
    auto removed = mInner->removeDirectory(real, recursive);
    if (removed.isOk() && recursive) {
        // Links recorded inside went with the tree; their targets did not.
        forgetLinksBelow(key(real));
    }
    return removed;
}

Result<void, fs::OsError> FakeSymlinkFilesystem::setPermissions(const fs::Path& path,
                                                                std::filesystem::perms perms) {
    return mInner->setPermissions(follow(path), perms);
}

Result<void, fs::OsError> FakeSymlinkFilesystem::rename(const fs::Path& from, const fs::Path& to) {
    std::lock_guard lock(mMutex);
    const fs::Path source = followParent(from);
    const fs::Path destination = followParent(to);
    if (findLink(key(destination))) {
        return Err(kErrorAlreadyExists);
    }
    if (auto link = findLink(key(source))) {
        auto existing = mInner->symlinkStatus(destination);
        if (existing.isOk() && existing.peek().type() != std::filesystem::file_type::not_found) {
            return Err(kErrorAlreadyExists);
        }
        mLinks.erase(key(source));
        auto full = mInner->absolute(destination);
        link->path = full.isOk() ? full.unwrap() : destination;
        mLinks.insert_or_assign(key(destination), *link);
        return Ok();
    }
    auto renamed = mInner->rename(source, destination);
    if (renamed.isOk()) {
        auto full = mInner->absolute(destination);
        moveLinksBelow(key(source), full.isOk() ? full.unwrap() : destination);
    }
    return renamed;
}

Result<bool, fs::OsError> FakeSymlinkFilesystem::isEmpty(const fs::Path& path) {
    const fs::Path real = follow(path);
    auto empty = mInner->isEmpty(real);
    if (empty.isOk() && empty.peek()) {
        const std::wstring folderKey = key(real);
        std::lock_guard lock(mMutex);
        for (const auto& entry : mLinks) {
            if (isBelow(entry.first, folderKey)) {
                return Ok(false);
            }
        }
    }
    return empty;
}

Result<int64_t, fs::OsError> FakeSymlinkFilesystem::lastWriteTime(const fs::Path& path) {
    return mInner->lastWriteTime(follow(path));
}

Result<fs::Path, fs::OsError> FakeSymlinkFilesystem::tempDirectory() {
    return mInner->tempDirectory();
}

Result<fs::Path, fs::OsError> FakeSymlinkFilesystem::executablePath() {
    return mInner->executablePath();
}

Result<fs::Path, fs::OsError> FakeSymlinkFilesystem::absolute(const fs::Path& path) {
    return mInner->absolute(path);
}

Result<fs::Path, fs::OsError> FakeSymlinkFilesystem::canonical(const fs::Path& path) {
    return mInner->canonical(follow(path));
}

Result<fs::Path, fs::OsError> FakeSymlinkFilesystem::weaklyCanonical(const fs::Path& path) {
    return mInner->weaklyCanonical(follow(path));
}

Result<void, fs::OsError> FakeSymlinkFilesystem::createFileSymlink(const fs::Path& target,
                                                                   const fs::Path& link) {
    return createLink(target, link, false);
}

Result<void, fs::OsError> FakeSymlinkFilesystem::createDirectorySymlink(const fs::Path& target,
                                                                        const fs::Path& link) {
    return createLink(target, link, true);
}

Result<fs::Path, fs::OsError> FakeSymlinkFilesystem::readSymlink(const fs::Path& link) {
    if (auto recorded = this->link(link)) {
        return Ok(recorded->storedTarget);
    }
    return mInner->readSymlink(followParent(link));
}

Result<bool, fs::OsError> FakeSymlinkFilesystem::copyFile(const fs::Path& from, const fs::Path& to,
                                                          std::filesystem::copy_options options) {
    return mInner->copyFile(follow(from), follow(to), options);
}

Result<void, fs::OsError> FakeSymlinkFilesystem::copyDirectory(const fs::Path& from, const fs::Path& to,
                                                               std::filesystem::copy_options a,
                                                               std::filesystem::copy_options b,
                                                               std::filesystem::copy_options c) {
    return mInner->copyDirectory(follow(from), follow(to), a, b, c);
}

Result<void, fs::OsError> FakeSymlinkFilesystem::copySymlink(const fs::Path& from, const fs::Path& to) {
    if (auto recorded = link(from)) {
        return createLink(recorded->storedTarget, to, recorded->isDirectory);
    }
    return mInner->copySymlink(followParent(from), followParent(to));
}

Result<fs::IterationResult, fs::OsError> FakeSymlinkFilesystem::iterate(
    const fs::Path& folder, const fs::IterationCallback& callback) {
    const fs::Path real = follow(folder);
    auto walked = mInner->iterate(real, [&](const fs::Path& entry, const fs::file_status& status) {
        return callback(folder / entry.filename(), status);
    });
    if (walked.isError() || !std::holds_alternative<fs::ItrCtrl>(walked.peek()) ||
        std::get<fs::ItrCtrl>(walked.peek()) == fs::ItrCtrl::Stop) {
        return walked;
    }
    std::vector<fs::Path> names;
    {
        const std::wstring folderKey = key(real);
        std::lock_guard lock(mMutex);
        for (const auto& [linkKey, link] : mLinks) {
            if (isBelow(linkKey, folderKey) &&
                linkKey.find(L'\\', folderKey.size() + 1) == std::wstring::npos) {
                names.push_back(link.path.filename());
            }
        }
    }
    for (const fs::Path& name : names) {
        fs::IterationResult answer = callback(folder / name, linkStatus());
        if (!std::holds_alternative<fs::ItrCtrl>(answer) ||
            std::get<fs::ItrCtrl>(answer) == fs::ItrCtrl::Stop) {
            return Ok(std::move(answer));
        }
    }
    return Ok(fs::IterationResult(fs::ItrCtrl::Continue));
}

Result<fs::IterationResult, fs::OsError> FakeSymlinkFilesystem::iterateRecursive(
    const fs::Path& folder, const fs::IterationCallback& callback) {
    std::vector<std::pair<fs::Path, fs::file_status>> entries;
    auto listed = iterate(folder, [&](const fs::Path& entry, const fs::file_status& status) {
        entries.emplace_back(entry, status);
        return fs::IterationResult(fs::ItrCtrl::Continue);
    });
    if (listed.isError()) {
        return listed;
    }
    for (const auto& [entry, status] : entries) {
        fs::IterationResult answer = callback(entry, status);
        if (!std::holds_alternative<fs::ItrCtrl>(answer) ||
            std::get<fs::ItrCtrl>(answer) == fs::ItrCtrl::Stop) {
            return Ok(std::move(answer));
        }
        if (status.type() == std::filesystem::file_type::directory) {
            auto inner = iterateRecursive(entry, callback);
            if (inner.isError() || !std::holds_alternative<fs::ItrCtrl>(inner.peek()) ||
                std::get<fs::ItrCtrl>(inner.peek()) == fs::ItrCtrl::Stop) {
                return inner;
            }
        }
    }
    return Ok(fs::IterationResult(fs::ItrCtrl::Continue));
}

}  // namespace kvx::test
