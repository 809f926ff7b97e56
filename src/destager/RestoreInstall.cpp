#include "destager/RestoreInstall.h"

#include "destager/CrashPoints.h"
#include "destager/ErrorTelemetry.h"
#include "destager/FolderSwap.h"
#include "destager/ResumeEntry.h"
#include "foundation/Logging.h"
#include "foundation/fs/IFilesystem.h"

namespace kvx::apps::destager::internal {

void restoreInstall(const DestageContext& context) {
    KVX_LOG_INFO("Update failed, attempting to restore the previous version");
    if (!fs::filesystem().isDirectory(context.outdatedClientPath)) {
        addErrorTelemetry(kUpecRestoreOldClient, kSeverityWarning, "Could not find install to restore");
        return;
    }
    crashPoint(CrashStep::rollbackBeforeRestore);
    const RenameResult restored = renameFolder(context.outdatedClientPath, context.clientPath, "rollback");
    if (restored.ok()) {
        KVX_LOG_INFO("Old client version restored");
        unregisterResume();
        return;
    }
    addErrorTelemetry(kUpecRestoreOldClient, kSeverityWarning,
                      "Failed to rename to restore old client back from [{}] to [{}], osError[{}], code[{}]",
                      context.outdatedClientPath.utf8(), context.clientPath.utf8(), restored.osError,
                      restored.code);
}

}  // namespace kvx::apps::destager::internal
