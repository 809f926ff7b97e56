#pragma once
// Folder operations that retry on a schedule, for the update steps. Each attempt that fails is
// reported to `onFailedAttempt` (attempt number from 1, the Windows error), the last one included.

#include <cstdint>
#include <functional>

#include "foundation/Result.h"
#include "foundation/Retry.h"
#include "foundation/fs/IFilesystem.h"

namespace kvx::fs {

struct SymlinkTargetInfo {
    Path storedTarget;    // exactly as the link holds it, possibly relative
    Path resolvedTarget;  // the link's parent folder joined with the stored target
};

using FailedAttemptCallback = std::function<void(uint8_t attempt, OsError osError)>;

Result<void, OsError> tryRename(const Path& from, const Path& to,
                                const FailedAttemptCallback& onFailedAttempt,
                                foundation::IRetryStrategy& strategy);
Result<bool, OsError> tryRemoveDirectory(const Path& path, bool recursive,
                                         const FailedAttemptCallback& onFailedAttempt,
                                         foundation::IRetryStrategy& strategy);
Result<bool, OsError> tryRemoveFile(const Path& path, const FailedAttemptCallback& onFailedAttempt,
                                    foundation::IRetryStrategy& strategy);
Result<bool, OsError> tryCreateDirectories(const Path& path, const FailedAttemptCallback& onFailedAttempt,
                                           foundation::IRetryStrategy& strategy);
Result<void, OsError> tryCreateDirectorySymlink(const Path& target, const Path& link,
                                                const FailedAttemptCallback& onFailedAttempt,
                                                foundation::IRetryStrategy& strategy);
// A path that is not a link fails with the error of the reparse-point request.
Result<SymlinkTargetInfo, OsError> tryResolveSymlinkTarget(const Path& link,
                                                           const FailedAttemptCallback& onFailedAttempt,
                                                           foundation::IRetryStrategy& strategy);

}  // namespace kvx::fs
