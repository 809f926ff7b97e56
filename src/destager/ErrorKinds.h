#pragma once
// The error kinds ("UPEC" codes) and severities of destage error telemetry.

#include <cstdint>

namespace kvx::apps {

enum UpecCode : int32_t {
    kUpecDesktopShortcut = 2200,
    kUpecStartMenuShortcut = 2201,
    kUpecRenameOldClient = 2202,
    kUpecRenameStagedClient = 2203,
    kUpecRestoreOldClient = 2204,
    kUpecRemoveOldClient = 2205,
    kUpecAppFolderShortcut = 2206,
    kUpecBackupOldClient = 2207,
    kUpecSetUnavailableState = 2208,
    kUpecRemoveOldExe = 2209,
    kUpecQueueRestoreFallback = 2210,
    kUpecOldClientMissing = 2211,
    kUpecInvalidStagedClient = 2212,
    kUpecDestagedFileMissing = 2213,
    kUpecDestagedFileCorrupt = 2214,
    kUpecStagedFileMissing = 2215,
    kUpecStagedFileCorrupt = 2216,
    kUpecSetFolderPermissions = 2217,
    kUpecSetFolderOwnership = 2218,
    kUpecRemoveOutdatedFolder = 2219,
    kUpecSymlinkMigrationRename = 2220,
    kUpecSymlinkMigrationBuildLink = 2221,
    kUpecSymlinkRevertResolveLink = 2222,
    kUpecSymlinkRevertRemoveLink = 2223,
    kUpecSymlinkRevertRestoreFolder = 2224,
    kUpecSymlinkRevertRemoveOldFolder = 2225,
    kUpecSymlinkRevertRestoreLink = 2226,
    kUpecSymlinkSwapRemoveLink = 2227,
    kUpecSymlinkSwapBuildLink = 2228,
    kUpecDiagnostics = 2299,
    kUpecRegistryPerms = 4200,
    kUpecKeyNotFound = 4201,
};

enum TelemetrySeverity : int32_t {
    kSeverityDiag = 0,
    kSeverityWarning = 1,
    kSeverityFatal = 2,
};

// The kind's telemetry name ("staged_file_missing"); "unknown" for codes outside the table.
const char* upecName(int32_t code);
// "diag", "warning", "fatal"; "unknown" for any other value.
const char* severityName(int32_t severity);

}  // namespace kvx::apps
