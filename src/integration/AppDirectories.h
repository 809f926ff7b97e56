#pragma once
// Where each program of the suite lies, resolved once at start-up (the application directory
// table) and read-only afterwards.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace kvx::apps::utils {

// The directory (UTF-8, no trailing separator) holding `appName`, found by, in order:
//   1. the registered launcher: the folder of the app key's "LauncherAppPath" (64-bit view), only
//      when it lies inside the running program's install;
//   2. the running program's own folder, when it is named "Korv Desktop" or "Destager";
//   3. developer build layouts "<root>\<appBuildFolder>\<appName>" for every folder above the
//      running program (which is first taken out of a "test" output folder), and with
//      `searchTestOutput` also "<root>\<appBuildFolder>\test\<appName>". Never for a program of an
//      installed suite: one inside the registered "InstallLocation", or in a folder named as in 2.
// Not found: the failed check "pathFound" and an empty string, which every user must refuse to use.
std::string getAppDirectoryFor(std::string_view appBuildFolder, std::string_view appName, bool searchTestOutput);

enum class AppDirectory : size_t {
    backgroundService,
    crashReporter,
    pellamLegacyCompatibility,
    desktop,
    korvUpdater,
    faultReporter,
    launcher,
    launchHelper,
    cefSubProcess,
    korvEgsProxy,
    korvLocalHostSvc,
    gameElevationProxy,
    uninstall,
    korvSteamProxy,
    korvSteamAuthHelper,
    korvSteamLauncher,
    korvConnect,
};
inline constexpr size_t kAppDirectoryCount = 17;

struct AppDirectoryEntry {
    const char* buildFolder;
    const char* executable;
    bool searchTestOutput;
};

// In the order of AppDirectory.
const std::array<AppDirectoryEntry, kAppDirectoryCount>& appDirectoryTable();

// Resolves every entry of the table. Called by the application core's constructor, on the main
// thread, before any other thread reads the table.
void resolveAppDirectories();

// Empty until resolved, or when the program was not found.
const std::string& appDirectory(AppDirectory which);

inline const std::string& getBackgroundServiceDirectory() { return appDirectory(AppDirectory::backgroundService); }
inline const std::string& getCrashReporterDirectory() { return appDirectory(AppDirectory::crashReporter); }
inline const std::string& getPellamLegacyCompatibilityDirectory() {
    return appDirectory(AppDirectory::pellamLegacyCompatibility);
}
inline const std::string& getDesktopDirectory() { return appDirectory(AppDirectory::desktop); }
inline const std::string& getKorvUpdaterDirectory() { return appDirectory(AppDirectory::korvUpdater); }
inline const std::string& getFaultReporterDirectory() { return appDirectory(AppDirectory::faultReporter); }
inline const std::string& getLauncherDirectory() { return appDirectory(AppDirectory::launcher); }
inline const std::string& getLaunchHelperDirectory() { return appDirectory(AppDirectory::launchHelper); }
inline const std::string& getCefSubProcessDirectory() { return appDirectory(AppDirectory::cefSubProcess); }
inline const std::string& getKorvEgsProxyDirectory() { return appDirectory(AppDirectory::korvEgsProxy); }
inline const std::string& getKorvLocalHostSvcDirectory() { return appDirectory(AppDirectory::korvLocalHostSvc); }
inline const std::string& getGameElevationProxyDirectory() { return appDirectory(AppDirectory::gameElevationProxy); }
inline const std::string& getUninstallDirectory() { return appDirectory(AppDirectory::uninstall); }
inline const std::string& getKorvSteamProxyDirectory() { return appDirectory(AppDirectory::korvSteamProxy); }
inline const std::string& getKorvSteamAuthHelperDirectory() { return appDirectory(AppDirectory::korvSteamAuthHelper); }
inline const std::string& getKorvSteamLauncherDirectory() { return appDirectory(AppDirectory::korvSteamLauncher); }
inline const std::string& getKorvConnectDirectory() { return appDirectory(AppDirectory::korvConnect); }

}  // namespace kvx::apps::utils
