#include "ResultMeaning.h"

#include <algorithm>
#include <array>
#include <utility>

#include "foundation/update/ResultCodes.h"

namespace kvx::sandbox {

namespace {
constexpr std::array<std::pair<int32_t, const char*>, 24> kMeanings{{
    {apps::kDestageSuccess, "update applied"},
    {apps::kUnexpectedFailure, "an exception cut the run short"},
    {apps::kStagedClientMissing, "staged client folder missing"},
    {apps::kMoveOldClientFailed, "the old client folder could not be moved aside"},
    {apps::kMoveStagedClientFailed, "the staged client could not be moved into place (rollback attempted)"},
    {apps::kRepairStateLauncherRunning, "repair state failed, KorvLauncher.exe still running"},
    {apps::kRepairStateDesktopRunning, "repair state failed, KorvDesktop.exe still running"},
    {apps::kRepairStateLaunchHelperRunning, "repair state failed, KorvLaunchHelper.exe still running"},
    {apps::kRepairStateConnectRunning, "repair state failed, KorvConnect_microsoft.exe still running"},
    {apps::kRepairStateLocalHostSvcRunning, "repair state failed, KorvLocalHostSvc.exe still running"},
    {apps::kRepairStateOtherExecutablesRunning, "repair state failed, other suite executables still running"},
    {apps::kRepairStateServiceStopped, "repair state failed, no executable left, background service stopped"},
    {apps::kClientFolderMissing, "client folder missing (a warning; never a final result)"},
    {apps::kRepairStateServiceNotStopped, "repair state failed, background service did not stop"},
    {apps::kNotRunningFromInstallLocation, "not running from the install location"},
    {apps::kDestagerNotInInstallFolder, "destager not running from install folder"},
    {apps::kInstallLocationUnknown, "install location or executable path could not be determined"},
    {apps::kSymlinkMigrationMoveFailed, "symlink migration: moving the client folder failed"},
    {apps::kSymlinkMigrationLinkFailed, "symlink migration: creating the link failed"},
    {apps::kSymlinkRevertResolveLinkFailed, "symlink revert: resolving the link failed"},
    {apps::kSymlinkRevertRemoveLinkFailed, "symlink revert: removing the link failed"},
    {apps::kSymlinkRevertMoveBackFailed, "symlink revert: moving the target back failed"},
    {apps::kSymlinkSwapRemoveLinkFailed, "symlink swap: removing the link failed"},
    {apps::kSymlinkSwapCreateLinkFailed, "symlink swap: creating the new link failed"},
}};
}  // namespace

const char* destageResultMeaning(int32_t code) {
    auto found = std::find_if(kMeanings.begin(), kMeanings.end(), [code](const auto& m) { return m.first == code; });
    return found != kMeanings.end() ? found->second : "unknown result code";
}

const char* exitCodeMeaning(int32_t exitCode) {
    switch (exitCode) {
        case 0:
            return "the run took place; its result is in machine.ini";
        case -1:
            return "the common application data folder could not be created";
        case -3:
            return "another destager was running";
        default:
            return "not an exit code of the destager (crashed or ended from outside?)";
    }
}

}  // namespace kvx::sandbox
