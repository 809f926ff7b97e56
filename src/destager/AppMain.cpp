#include "destager/AppMain.h"

#include <windows.h>

#include <optional>

#include "destager/DestageRun.h"
#include "foundation/Clock.h"
#include "foundation/Singleton.h"
#include "framework/app/AppCore.h"
#include "integration/AppCoreHooks.h"
#include "integration/CommonAppDataDirectory.h"
#include "integration/UpdateInProgressEvent.h"
#include "process/ShutdownTimeout.h"

namespace kvx::apps {

namespace {

using ShutdownGuard = foundation::utils::Singleton<ShutdownTimeout>;

AppCoreParams makeAppCoreParams(int argc, const char* const* argv) {
    AppCoreParams params;
    params.argc = argc;
    params.argv = argv;
    params.workQueues = {{"global-compute"}, {"global-io"}};
    params.loadAppResources = true;
    params.useExceptionSystem = true;
    params.hooks = utils::suiteAppCoreHooks();
    params.appName = "KorvDestager";
    return params;
}

// The current directory pins its folder: a process whose current directory lies in the staged
// client folder could never move that folder into place. The resources are loaded by now.
void leaveStagedFolder() {
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        SetCurrentDirectoryW(system);
    }
}

}  // namespace

int app_main(int argc, const char* const* argv) {
    if (suite::isUpdateInProgress()) {
        return -3;
    }
    WinUtils::AutoHandle updateInProgress;
    suite::createUpdateInProgressEvent(updateInProgress);
    const auto startTime = foundation::clock().monotonicNow();
    ShutdownGuard::create();

    int exitCode = 0;
    {
        AppCore core(makeAppCoreParams(argc, argv));
        core.preInit();
        leaveStagedFolder();
        if (!createCommonAppDataDirectory()) {
            exitCode = -1;
        } else {
            core.init();
            ShutdownGuard::getMutable().init(true);
            std::optional<WinUtils::ComInitializer> com;
            internal::runDestage(argc, argv, startTime, updateInProgress, com);
            ShutdownGuard::getMutable().stopSignalReceived();
            core.term();
            ShutdownGuard::destroy();
        }
    }
    if (ShutdownGuard::exists()) {
        ShutdownGuard::destroy();
    }
    updateInProgress.reset();
    return exitCode;
}

}  // namespace kvx::apps
