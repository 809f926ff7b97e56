#include "integration/AppCoreHooks.h"

#include <optional>

#include "integration/AppDirectories.h"
#include "integration/AppInfo.h"
#include "integration/CommonAppDataDirectory.h"
#include "integration/Tls12Support.h"
#include "process/ProcessUtils.h"

namespace kvx::apps::utils {

AppCoreHooks suiteAppCoreHooks() {
    AppCoreHooks hooks;
    hooks.resolveAppDirectories = [] { resolveAppDirectories(); };
    hooks.partnerProxyFolders = [] {
        return PartnerProxyFolders{getKorvSteamProxyDirectory(), getKorvSteamAuthHelperDirectory(),
                                   getKorvEgsProxyDirectory()};
    };
    hooks.machineSettingsTrusted = [] { return commonAppDataDirectoryProtected(); };
    hooks.enableTls12ClientSupport = [] { enableTls12ClientSupport(); };
    hooks.logAppInfo = [](const char* const* argv, int argc, std::string_view appName) {
        logAppInfo(argv, argc, appName);
    };
    hooks.fileHolders = [](const std::string& path) {
        std::optional<services::process::LockReport> report;
        services::process::processUtils().getProcessLockingFiles({path}, false, report);
        if (!report || report->lockingProcess.empty()) {
            return std::vector<std::string>{};
        }
        return std::vector<std::string>{report->lockingProcess};
    };
    return hooks;
}

}  // namespace kvx::apps::utils
