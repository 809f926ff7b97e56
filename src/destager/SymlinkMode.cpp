#include "destager/SymlinkMode.h"

#include "destager/ClientFileVersion.h"
#include "destager/ErrorTelemetry.h"
#include "destager/FolderSwap.h"
#include "destager/ResultCodes.h"
#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "foundation/Retry.h"
#include "foundation/fs/RetryingOperations.h"

namespace kvx::apps::destager::internal {

namespace {

constexpr int64_t k100nsPerSecond = 10'000'000;

Result<void, fs::OsError> linkClientFolder(const fs::Path& relativeTarget, const fs::Path& clientPath) {
    auto schedule = foundation::folderStepSchedule();
    return fs::tryCreateDirectorySymlink(relativeTarget, clientPath, logFileIoFailure, schedule);
}

Result<bool, fs::OsError> removeClientLink(const fs::Path& clientPath) {
    // Removes the link itself; its target stays.
    auto schedule = foundation::folderStepSchedule();
    return fs::tryRemoveFile(clientPath, logFileIoFailure, schedule);
}

}  // namespace

std::string versionedFolderName(const DestageContext& context) {
    return foundation::safeFormat("{}-{}", apps::internal::fileVersionText(context.clientExePath),
                                  foundation::clock().now100nsSinceEpoch() / k100nsPerSecond);
}

int32_t migrateToSymlinkMode(const DestageContext& context) {
    KVX_LOG_INFO("Migrating existing install to symlink mode");
    const fs::Path relativeTarget = fs::Path::fromUtf8(versionedFolderName(context)) / kClientFolderName;
    const fs::Path versionedClientPath = context.installRoot / relativeTarget;

    const RenameResult moved = renameFolder(context.clientPath, versionedClientPath, "migrateToSymlink");
    if (!moved.ok()) {
        addErrorTelemetry(
            kUpecSymlinkMigrationRename, kSeverityFatal,
            "Failed to move current install folder [{}] to versioned folder [{}], osError[{}], code[{}]",
            context.clientPath.utf8(), versionedClientPath.utf8(), osErrorText(moved.osError), moved.code);
        return kSymlinkMigrationMoveFailed;
    }
    auto linked = linkClientFolder(relativeTarget, context.clientPath);
    if (linked.isError()) {
        // The client now lives in the versioned folder; it is not moved back.
        addErrorTelemetry(kUpecSymlinkMigrationBuildLink, kSeverityFatal,
                          "Failed to create symlink[{}] to [{}], osError[{}]", context.clientPath.utf8(),
                          relativeTarget.utf8(), osErrorText(linked.unwrapError()));
        return kSymlinkMigrationLinkFailed;
    }
    return kDestageSuccess;
}

int32_t swapSymlinkFolders(const DestageContext& context) {
    KVX_LOG_INFO("Updating symlink to point to new client contents");
    auto removed = removeClientLink(context.clientPath);
    if (removed.isError()) {
        addErrorTelemetry(kUpecSymlinkSwapRemoveLink, kSeverityFatal,
                          "Failed to remove symlink at [{}], osError[{}]", context.clientPath.utf8(),
                          osErrorText(removed.unwrapError()));
        return kSymlinkSwapRemoveLinkFailed;
    }
    auto linked = linkClientFolder(context.stagedLinkTarget, context.clientPath);
    if (linked.isError()) {
        addErrorTelemetry(kUpecSymlinkSwapBuildLink, kSeverityFatal,
                          "Failed to create new symlink at [{}] to point to [{}], osError[{}]",
                          context.clientPath.utf8(), context.stagedLinkTarget.utf8(),
                          osErrorText(linked.unwrapError()));
        return kSymlinkSwapCreateLinkFailed;
    }
    return kDestageSuccess;
}

int32_t revertSymlinkMode(const DestageContext& context) {
    KVX_LOG_INFO("Reverting existing symlink mode install back to regular folders");
    auto resolveSchedule = foundation::folderStepSchedule();
    auto resolved = fs::tryResolveSymlinkTarget(context.clientPath, logFileIoFailure, resolveSchedule);
    if (resolved.isError()) {
        addErrorTelemetry(kUpecSymlinkRevertResolveLink, kSeverityFatal,
                          "Failed to resolve symlink[{}], osError[{}]", context.clientPath.utf8(),
                          osErrorText(resolved.unwrapError()));
        return kSymlinkRevertResolveLinkFailed;
    }
    const fs::SymlinkTargetInfo target = resolved.unwrap();
    auto removed = removeClientLink(context.clientPath);
    if (removed.isError()) {
        addErrorTelemetry(kUpecSymlinkRevertRemoveLink, kSeverityFatal,
                          "Failed to remove symlink[{}], osError[{}]", context.clientPath.utf8(),
                          osErrorText(removed.unwrapError()));
        return kSymlinkRevertRemoveLinkFailed;
    }

    const RenameResult moved = renameFolder(target.resolvedTarget, context.clientPath, "revertSymlink");
    if (moved.ok()) {
        // The versioned folder is now empty of the client; one attempt is enough for a leftover.
        const fs::Path versionedFolder = target.resolvedTarget.parent();
        auto cleared = fs::filesystem().removeDirectory(versionedFolder, true);
        if (cleared.isError()) {
            addErrorTelemetry(kUpecSymlinkRevertRemoveOldFolder, kSeverityWarning,
                              "Failed to remove old versioned parent folder at [{}], osError[{}]",
                              versionedFolder.utf8(), osErrorText(cleared.unwrapError()));
        }
        return kDestageSuccess;
    }

    addErrorTelemetry(
        kUpecSymlinkRevertRestoreFolder, kSeverityFatal,
        "Failed to rename target folder [{}] back to install folder [{}], osError[{}], code[{}]",
        target.resolvedTarget.utf8(), context.clientPath.utf8(), osErrorText(moved.osError), moved.code);
    if (fs::filesystem().isDirectory(target.resolvedTarget)) {
        KVX_LOG_INFO("Attempting to re-link client folder after failed move");
        auto relinked = linkClientFolder(target.storedTarget, context.clientPath);
        if (relinked.isError()) {
            addErrorTelemetry(kUpecSymlinkRevertRestoreLink, kSeverityWarning,
                              "Failed to restore symlink[{}] to [{}], osError[{}]", context.clientPath.utf8(),
                              target.storedTarget.utf8(), osErrorText(relinked.unwrapError()));
        }
    }
    return kSymlinkRevertMoveBackFailed;
}

}  // namespace kvx::apps::destager::internal
