#pragma once
// The numeric result of one destage, stored in "machine.destageResult" for the client; 0 is success.

#include <cstdint>

namespace kvx::apps {

inline constexpr int32_t kDestageSuccess = 0;
// An exception escaped the update: how far it got is unknown, so it is never taken for success.
inline constexpr int32_t kUnexpectedFailure = 1;
inline constexpr int32_t kStagedClientMissing = 4;
inline constexpr int32_t kMoveOldClientFailed = 5;
inline constexpr int32_t kMoveStagedClientFailed = 6;  // rollback attempted
inline constexpr int32_t kRepairStateLauncherRunning = 7;
inline constexpr int32_t kRepairStateDesktopRunning = 8;
inline constexpr int32_t kRepairStateLaunchHelperRunning = 9;
inline constexpr int32_t kRepairStateConnectRunning = 10;
inline constexpr int32_t kRepairStateLocalHostSvcRunning = 11;
inline constexpr int32_t kRepairStateOtherExecutablesRunning = 12;
inline constexpr int32_t kRepairStateServiceStopped = 14;  // no executable left, service stopped
// A warning only: the update goes on and never ends with this code.
inline constexpr int32_t kClientFolderMissing = 16;
inline constexpr int32_t kRepairStateServiceNotStopped = 17;  // no executable left, service still up
inline constexpr int32_t kNotRunningFromInstallLocation = 22;
inline constexpr int32_t kDestagerNotInInstallFolder = 23;
inline constexpr int32_t kInstallLocationUnknown = 24;
inline constexpr int32_t kSymlinkMigrationMoveFailed = 29;
inline constexpr int32_t kSymlinkMigrationLinkFailed = 30;
inline constexpr int32_t kSymlinkRevertResolveLinkFailed = 31;
inline constexpr int32_t kSymlinkRevertRemoveLinkFailed = 32;
inline constexpr int32_t kSymlinkRevertMoveBackFailed = 33;
inline constexpr int32_t kSymlinkSwapRemoveLinkFailed = 34;
inline constexpr int32_t kSymlinkSwapCreateLinkFailed = 35;

}  // namespace kvx::apps
