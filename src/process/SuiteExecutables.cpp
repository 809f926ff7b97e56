#include "process/SuiteExecutables.h"

namespace kvx::apps::suite {
std::unordered_set<std::string> getKnownExecutables(StopMode mode) {
    std::unordered_set<std::string> names{
        "KorvDesktop.exe",       "FaultReporter.exe",         "KorvLaunchHelper.exe", "KorvCefSubProcess.exe",
        "KorvConnect_microsoft.exe", "KorvCrashReporter.exe", "KorvEgsProxy.exe",     "KorvGEP.exe",
        "KorvLauncher.exe",      "KorvLocalHostSvc.exe",      "KorvSteamProxy.exe",   "KorvUninstall.exe",
        "OverlayProxy32.exe",    "Link2Korv.exe",             "PellamLegacyCompatibility.exe", "KorvUpdater.exe",
    };
    if (mode != kStopModeRepair) {
        names.insert(kOwnExecutable);
    }
    return names;
}

}  // namespace kvx::apps::suite
