#include "destager/FolderSwap.h"

#include <fmt/ranges.h>

#include "destager/CrashPoints.h"
#include "destager/ErrorTelemetry.h"
#include "destager/RestoreInstall.h"
#include "destager/ResumeEntry.h"
#include "foundation/Logging.h"
#include "foundation/Retry.h"
#include "foundation/fs/RetryingOperations.h"
#include "foundation/update/ResultCodes.h"
#include "foundation/win/ErrorText.h"
#include "process/LockedModules.h"

namespace kvx::apps {

void logFileIoFailure(uint8_t attemptNumber, uint32_t lastError) {
    KVX_LOG_WARN("Failed IO step while swapping client folders. attemptNumber[{}], lastError[{}]",
                 attemptNumber, destager::internal::osErrorText(lastError));
}

}  // namespace kvx::apps

namespace kvx::apps::destager::internal {

namespace {

// A step that gave up may have done so because a suite module is still loaded from the folder.
void reportLockedModule(const fs::Path& folder, const std::string& contextName, const std::string& step) {
    namespace process = services::process;
    const auto report = process::findLockedModule(folder.utf8(), process::modulePatterns());
    if (!report) {
        return;
    }
    addErrorTelemetry(kUpecDiagnostics, kSeverityDiag,
                      "Locked DLL/EXE found[{}], locking process[{}], context[{}]",
                      fmt::format("{}", fmt::join(report->lockedFiles, ",")), report->lockingProcess,
                      contextName + ":" + step);
}

}  // namespace

std::string osErrorText(uint32_t osError) {
    return foundation::safeFormat("{}: {}", osError, WinUtils::getErrorAsString(osError));
}

RenameResult renameFolder(const fs::Path& oldPath, const fs::Path& newPath, const std::string& contextName) {
    KVX_LOG_VERBOSE("Renaming folder from oldPath[{}] to newPath[{}]", oldPath.utf8(), newPath.utf8());
    if (fs::filesystem().isDirectory(newPath)) {
        KVX_LOG_DEBUG("Destination directory already exists, attempting to delete it first. newPath[{}]",
                      newPath.utf8());
        auto schedule = foundation::folderStepSchedule();
        auto removed = fs::tryRemoveDirectory(newPath, true, logFileIoFailure, schedule);
        if (removed.isError()) {
            const uint32_t osError = removed.unwrapError();
            KVX_LOG_ERROR("Failed to remove old copy of destination directory. newPath[{}], error[{}]",
                          newPath.utf8(), osErrorText(osError));
            reportLockedModule(newPath, contextName, "removeDest");
            return {kRenameDestinationNotRemoved, osError};
        }
    }

    auto parentSchedule = foundation::folderStepSchedule();
    auto parentMade = fs::tryCreateDirectories(newPath.parent(), logFileIoFailure, parentSchedule);
    if (parentMade.isError()) {
        return {kRenameParentNotCreated, parentMade.unwrapError()};
    }

    auto renameSchedule = foundation::folderStepSchedule();
    const auto onFailedRename = [](uint8_t attempt, uint32_t lastError) {
        logFileIoFailure(attempt, lastError);
        crashPoint(CrashStep::renameRetrying);
    };
    auto renamed = fs::tryRename(oldPath, newPath, onFailedRename, renameSchedule);
    if (renamed.isError()) {
        const uint32_t osError = renamed.unwrapError();
        KVX_LOG_ERROR("Failed to rename folder from oldPath[{}] to newPath[{}], error[{}]", oldPath.utf8(),
                      newPath.utf8(), osErrorText(osError));
        reportLockedModule(oldPath, contextName, "rename");
        return {kRenameFailed, osError};
    }
    return {};
}

int32_t swapFolders(const DestageContext& context) {
    KVX_LOG_VERBOSE("Swapping in staged folder");
    // A missing client folder is a repair: only the staged client is moved.
    if (fs::filesystem().isDirectory(context.clientPath)) {
        crashPoint(CrashStep::swapBeforeOldClientMove);
        registerResume(context);
        const RenameResult moved = renameFolder(context.clientPath, context.outdatedClientPath, "oldClient");
        if (!moved.ok()) {
            unregisterResume();
            addErrorTelemetry(kUpecRenameOldClient, kSeverityFatal,
                              "Failed to rename exisiting client from [{}] to [{}], osError[{}], code[{}]",
                              context.clientPath.utf8(), context.outdatedClientPath.utf8(), moved.osError,
                              moved.code);
            return kMoveOldClientFailed;
        }
        crashPoint(CrashStep::swapAfterOldClientMove);
    } else {
        // The client path is empty already: a crash now must still find its way back.
        registerResume(context);
    }

    const RenameResult staged = renameFolder(context.stagedClientPath, context.clientPath, "staged");
    if (!staged.ok()) {
        addErrorTelemetry(kUpecRenameStagedClient, kSeverityFatal,
                          "Failed to {} staged [{}] to [{}], osError[{}], code[{}]", "rename",
                          context.stagedClientPath.utf8(), context.clientPath.utf8(), staged.osError,
                          staged.code);
        restoreInstall(context);
        return kMoveStagedClientFailed;
    }
    unregisterResume();
    crashPoint(CrashStep::swapAfterStagedMove);
    return kDestageSuccess;
}

}  // namespace kvx::apps::destager::internal
