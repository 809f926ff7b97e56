#include "foundation/fs/RetryingOperations.h"

#include <optional>

namespace kvx::fs {

namespace {

// Runs `operation` under the retry driver and hands back its last result.
template <typename Operation>
auto retrying(Operation&& operation, const FailedAttemptCallback& onFailedAttempt,
              foundation::IRetryStrategy& strategy) {
    std::optional<decltype(operation())> last;
    foundation::tryUntilOk(
        [&] {
            last.emplace(operation());
            return last->isOk();
        },
        [&](uint8_t attempt) {
            if (onFailedAttempt) {
                onFailedAttempt(attempt, last->peekError());
            }
        },
        strategy);
    return std::move(*last);
}

Result<SymlinkTargetInfo, OsError> resolveSymlinkTarget(const Path& link) {
    auto stored = filesystem().readSymlink(link);
    if (stored.isError()) {
        return Err(stored.unwrapError());
    }
    Path storedTarget = stored.unwrap();
    Path resolvedTarget = link.parent() / storedTarget;
    return Ok(SymlinkTargetInfo{std::move(storedTarget), std::move(resolvedTarget)});
}

}  // namespace

Result<void, OsError> tryRename(const Path& from, const Path& to,
                                const FailedAttemptCallback& onFailedAttempt,
                                foundation::IRetryStrategy& strategy) {
    return retrying([&] { return filesystem().rename(from, to); }, onFailedAttempt, strategy);
}

Result<bool, OsError> tryRemoveDirectory(const Path& path, bool recursive,
                                         const FailedAttemptCallback& onFailedAttempt,
                                         foundation::IRetryStrategy& strategy) {
    return retrying([&] { return filesystem().removeDirectory(path, recursive); }, onFailedAttempt, strategy);
}

Result<bool, OsError> tryRemoveFile(const Path& path, const FailedAttemptCallback& onFailedAttempt,
                                    foundation::IRetryStrategy& strategy) {
    return retrying([&] { return filesystem().remove(path); }, onFailedAttempt, strategy);
}

Result<bool, OsError> tryCreateDirectories(const Path& path, const FailedAttemptCallback& onFailedAttempt,
                                           foundation::IRetryStrategy& strategy) {
    return retrying([&] { return filesystem().createDirectories(path); }, onFailedAttempt, strategy);
}

Result<void, OsError> tryCreateDirectorySymlink(const Path& target, const Path& link,
                                                const FailedAttemptCallback& onFailedAttempt,
                                                foundation::IRetryStrategy& strategy) {
    return retrying([&] { return filesystem().createDirectorySymlink(target, link); }, onFailedAttempt,
                    strategy);
}

Result<SymlinkTargetInfo, OsError> tryResolveSymlinkTarget(const Path& link,
                                                           const FailedAttemptCallback& onFailedAttempt,
                                                           foundation::IRetryStrategy& strategy) {
    return retrying([&] { return resolveSymlinkTarget(link); }, onFailedAttempt, strategy);
}

}  // namespace kvx::fs
