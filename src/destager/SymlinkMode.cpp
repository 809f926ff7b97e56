#include "destager/SymlinkMode.h"

#include <filesystem>

#include "destager/ClientFileVersion.h"
#include "destager/CrashPoints.h"
#include "destager/ErrorTelemetry.h"
#include "destager/FolderSwap.h"
#include "destager/ResumeEntry.h"
#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "foundation/Retry.h"
#include "foundation/fs/PathRules.h"
#include "foundation/fs/RetryingOperations.h"
#include "foundation/update/ResultCodes.h"

namespace kvx::apps::destager::internal {

namespace {

constexpr int64_t k100nsPerSecond = 10'000'000;

// Windows answers for the link it made, but a file system (Wine's among them) may report a link it
// never made; the client is at stake, so the link is read back before the step counts as done.
// A link that is missing fails with the read's error, one with another target with 0.
Result<void, fs::OsError> linkClientFolder(const fs::Path& target, const fs::Path& clientPath) {
    auto schedule = foundation::folderStepSchedule();
    auto linked = fs::tryCreateDirectorySymlink(target, clientPath, logFileIoFailure, schedule);
    if (linked.isError()) {
        return linked;
    }
    auto readBack = fs::filesystem().readSymlink(clientPath);
    if (readBack.isOk() && fs::isSamePath(readBack.peek().std().lexically_normal().wstring(),
                                          target.std().lexically_normal().wstring())) {
        unregisterResume();
        return Ok();
    }
    fs::OsError error = 0;
    if (readBack.isError()) {
        error = readBack.unwrapError();
        KVX_LOG_ERROR("Symlink[{}] reported as created cannot be read back, osError[{}]", clientPath.utf8(),
                      osErrorText(error));
    } else {
        KVX_LOG_ERROR("Symlink[{}] points to [{}] instead of [{}]", clientPath.utf8(), readBack.peek().utf8(),
                      target.utf8());
    }
    // A stray link must go: later steps would otherwise clear the client path through it.
    auto status = fs::filesystem().symlinkStatus(clientPath);
    if (status.isOk() && status.peek().type() == std::filesystem::file_type::symlink) {
        if (auto removed = fs::filesystem().remove(clientPath); removed.isError()) {
            KVX_LOG_ERROR("Failed to remove stray symlink[{}], osError[{}]", clientPath.utf8(),
                          osErrorText(removed.unwrapError()));
        }
    }
    return Err(error);
}

Result<bool, fs::OsError> removeClientLink(const fs::Path& clientPath) {
    // Removes the link itself; its target stays.
    auto schedule = foundation::folderStepSchedule();
    return fs::tryRemoveFile(clientPath, logFileIoFailure, schedule);
}

// A direct child of the install root, not the root itself nor anything outside it.
bool isVersionedFolderOfInstall(const DestageContext& context, const fs::Path& folder) {
    const std::filesystem::path normal = folder.std().lexically_normal();
    const std::filesystem::path root = context.installRoot.std().lexically_normal();
    return normal.has_filename() && fs::isSamePath(normal.parent_path().wstring(), root.wstring()) &&
           !fs::isSamePath(normal.wstring(), root.wstring());
}

// A relative target is stored relative to the link's folder, the install root.
void relinkPreviousClient(const DestageContext& context, const fs::Path& storedTarget) {
    const fs::Path resolved = storedTarget.isAbsolute() ? storedTarget : context.installRoot / storedTarget;
    if (!fs::filesystem().isDirectory(resolved)) {
        KVX_LOG_ERROR("Previous client folder [{}] is gone, symlink[{}] not restored", resolved.utf8(),
                      context.clientPath.utf8());
        return;
    }
    KVX_LOG_INFO("Restoring symlink[{}] to previous client [{}] after failed swap", context.clientPath.utf8(),
                 storedTarget.utf8());
    auto relinked = linkClientFolder(storedTarget, context.clientPath);
    if (relinked.isError()) {
        KVX_LOG_ERROR("Failed to restore symlink[{}] to [{}], osError[{}]", context.clientPath.utf8(),
                      storedTarget.utf8(), osErrorText(relinked.unwrapError()));
    }
}

// With no link before (a repair: a killed migration leaves the client path empty), nothing could be
// linked back; the staged client moved in as a plain folder keeps the player launchable, and the
// next symlink-mode update migrates it.
void keepStagedClientAsFolder(const DestageContext& context) {
    auto present = fs::filesystem().exists(context.clientPath);
    if (present.isError() || present.peek()) {
        return;
    }
    KVX_LOG_INFO("No previous client to link back, moving staged client [{}] into [{}]",
                 context.stagedClientPath.utf8(), context.clientPath.utf8());
    const RenameResult moved =
        renameFolder(context.stagedClientPath, context.clientPath, "symlinkSwapFallback");
    if (moved.ok()) {
        unregisterResume();
    } else {
        KVX_LOG_ERROR("Failed to move staged client [{}] into [{}], osError[{}], code[{}]",
                      context.stagedClientPath.utf8(), context.clientPath.utf8(), osErrorText(moved.osError),
                      moved.code);
    }
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

    registerResume(context);
    const RenameResult moved = renameFolder(context.clientPath, versionedClientPath, "migrateToSymlink");
    if (!moved.ok()) {
        unregisterResume();
        addErrorTelemetry(
            kUpecSymlinkMigrationRename, kSeverityFatal,
            "Failed to move current install folder [{}] to versioned folder [{}], osError[{}], code[{}]",
            context.clientPath.utf8(), versionedClientPath.utf8(), osErrorText(moved.osError), moved.code);
        return kSymlinkMigrationMoveFailed;
    }
    crashPoint(CrashStep::migrateAfterMove);
    auto linked = linkClientFolder(relativeTarget, context.clientPath);
    if (linked.isError()) {
        addErrorTelemetry(kUpecSymlinkMigrationBuildLink, kSeverityFatal,
                          "Failed to create symlink[{}] to [{}], osError[{}]", context.clientPath.utf8(),
                          relativeTarget.utf8(), osErrorText(linked.unwrapError()));
        // Without the link the client path is empty: the player keeps a launchable client only if
        // the folder goes back.
        KVX_LOG_INFO("Moving client folder back from [{}] after failed link", versionedClientPath.utf8());
        crashPoint(CrashStep::migrateBeforeMoveBack);
        const RenameResult restored =
            renameFolder(versionedClientPath, context.clientPath, "migrateToSymlinkRestore");
        if (restored.ok()) {
            unregisterResume();
            const fs::Path versionedFolder = versionedClientPath.parent();
            if (auto cleared = fs::filesystem().removeDirectory(versionedFolder, false); cleared.isError()) {
                KVX_LOG_WARN("Failed to remove empty versioned folder [{}], osError[{}]",
                             versionedFolder.utf8(), osErrorText(cleared.unwrapError()));
            }
        } else {
            KVX_LOG_ERROR("Failed to move client folder back from [{}] to [{}], osError[{}], code[{}]",
                          versionedClientPath.utf8(), context.clientPath.utf8(),
                          osErrorText(restored.osError), restored.code);
        }
        return kSymlinkMigrationLinkFailed;
    }
    return kDestageSuccess;
}

int32_t swapSymlinkFolders(const DestageContext& context) {
    KVX_LOG_INFO("Updating symlink to point to new client contents");
    // Kept to point the client back at the previous version if the new link cannot be made.
    auto previousTarget = fs::filesystem().readSymlink(context.clientPath);
    registerResume(context);
    auto removed = removeClientLink(context.clientPath);
    if (removed.isError()) {
        unregisterResume();
        addErrorTelemetry(kUpecSymlinkSwapRemoveLink, kSeverityFatal,
                          "Failed to remove symlink at [{}], osError[{}]", context.clientPath.utf8(),
                          osErrorText(removed.unwrapError()));
        return kSymlinkSwapRemoveLinkFailed;
    }
    crashPoint(CrashStep::symlinkSwapAfterUnlink);
    auto linked = linkClientFolder(context.stagedLinkTarget, context.clientPath);
    if (linked.isError()) {
        addErrorTelemetry(kUpecSymlinkSwapBuildLink, kSeverityFatal,
                          "Failed to create new symlink at [{}] to point to [{}], osError[{}]",
                          context.clientPath.utf8(), context.stagedLinkTarget.utf8(),
                          osErrorText(linked.unwrapError()));
        if (previousTarget.isOk()) {
            relinkPreviousClient(context, previousTarget.peek());
        } else {
            keepStagedClientAsFolder(context);
        }
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
    registerResume(context);
    auto removed = removeClientLink(context.clientPath);
    if (removed.isError()) {
        unregisterResume();
        addErrorTelemetry(kUpecSymlinkRevertRemoveLink, kSeverityFatal,
                          "Failed to remove symlink[{}], osError[{}]", context.clientPath.utf8(),
                          osErrorText(removed.unwrapError()));
        return kSymlinkRevertRemoveLinkFailed;
    }
    crashPoint(CrashStep::revertAfterUnlink);

    const RenameResult moved = renameFolder(target.resolvedTarget, context.clientPath, "revertSymlink");
    if (moved.ok()) {
        unregisterResume();
        crashPoint(CrashStep::revertOldFolderRemoval);
        // The versioned folder is now empty of the client; one attempt is enough for a leftover.
        const fs::Path versionedFolder = target.resolvedTarget.parent();
        if (!isVersionedFolderOfInstall(context, versionedFolder)) {
            // A link can point anywhere; only a folder of the install's own is ours to delete.
            addErrorTelemetry(kUpecSymlinkRevertRemoveOldFolder, kSeverityWarning,
                              "Failed to remove old versioned parent folder at [{}], osError[{}]",
                              versionedFolder.utf8(), "refused: not a folder of its own in the install root");
            return kDestageSuccess;
        }
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
