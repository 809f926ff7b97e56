#include "destager/ErrorKinds.h"

#include <algorithm>
#include <array>
#include <utility>

namespace kvx::apps {

namespace {
constexpr std::array<std::pair<int32_t, const char*>, 32> kUpecNames{{
    {kUpecDesktopShortcut, "desktop_shortcut"},
    {kUpecStartMenuShortcut, "start_menu_shortcut"},
    {kUpecRenameOldClient, "rename_old_client"},
    {kUpecRenameStagedClient, "rename_staged_client"},
    {kUpecRestoreOldClient, "restore_old_client"},
    {kUpecRemoveOldClient, "remove_old_client"},
    {kUpecAppFolderShortcut, "app_folder_shortcut"},
    {kUpecBackupOldClient, "backup_old_client"},
    {kUpecSetUnavailableState, "set_unavailable_state"},
    {kUpecRemoveOldExe, "remove_old_exe"},
    {kUpecQueueRestoreFallback, "queue_restore_fallback"},
    {kUpecOldClientMissing, "old_client_missing"},
    {kUpecInvalidStagedClient, "invalid_staged_client"},
    {kUpecDestagedFileMissing, "destaged_file_missing"},
    {kUpecDestagedFileCorrupt, "destaged_file_corrupt"},
    {kUpecStagedFileMissing, "staged_file_missing"},
    {kUpecStagedFileCorrupt, "staged_file_corrupt"},
    {kUpecSetFolderPermissions, "set_folder_permissions"},
    {kUpecSetFolderOwnership, "set_folder_ownership"},
    {kUpecRemoveOutdatedFolder, "remove_outdated_folder"},
    {kUpecSymlinkMigrationRename, "symlink_migration_rename"},
    {kUpecSymlinkMigrationBuildLink, "symlink_migration_build_link"},
    {kUpecSymlinkRevertResolveLink, "symlink_revert_resolve_link"},
    {kUpecSymlinkRevertRemoveLink, "symlink_revert_remove_link"},
    {kUpecSymlinkRevertRestoreFolder, "symlink_revert_restore_folder"},
    {kUpecSymlinkRevertRemoveOldFolder, "symlink_revert_remove_old_folder"},
    {kUpecSymlinkRevertRestoreLink, "symlink_revert_restore_link"},
    {kUpecSymlinkSwapRemoveLink, "symlink_swap_remove_link"},
    {kUpecSymlinkSwapBuildLink, "symlink_swap_build_link"},
    {kUpecDiagnostics, "diagnostics"},
    {kUpecRegistryPerms, "registry_perms"},
    {kUpecKeyNotFound, "key_not_found"},
}};
}  // namespace

const char* upecName(int32_t code) {
    auto found = std::find_if(kUpecNames.begin(), kUpecNames.end(), [code](const auto& e) { return e.first == code; });
    return found != kUpecNames.end() ? found->second : "unknown";
}

const char* severityName(int32_t severity) {
    switch (severity) {
        case kSeverityDiag:
            return "diag";
        case kSeverityWarning:
            return "warning";
        case kSeverityFatal:
            return "fatal";
        default:
            return "unknown";
    }
}

}  // namespace kvx::apps
