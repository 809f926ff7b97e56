#include "destager/AppMain.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "destager/AfterUpdatePlan.h"
#include "destager/LoopDetection.h"
#include "destager/UpdateOrchestration.h"
#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "foundation/Singleton.h"
#include "foundation/fs/IFilesystem.h"
#include "foundation/update/DestageContext.h"
#include "foundation/update/DestagerOptions.h"
#include "foundation/update/ResultCodes.h"
#include "foundation/win/AutoHandle.h"
#include "foundation/win/ComInitializer.h"
#include "framework/app/AppCore.h"
#include "framework/config/ConfigSystem.h"
#include "framework/settings/MachineSettings.h"
#include "integration/AppCoreHooks.h"
#include "integration/AppDirectories.h"
#include "integration/AppKey.h"
#include "integration/AppRegistryKeys.h"
#include "integration/CommonAppDataDirectory.h"
#include "integration/InstallLocation.h"
#include "integration/ProtocolHandlers.h"
#include "integration/ThirdPartyAvailability.h"
#include "integration/UpdateInProgressEvent.h"
#include "process/ClientLaunch.h"
#include "process/InstallPathValidation.h"
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

void setMachineKey(std::string_view key, std::string value) {
    config::configSystem().set(config::Store::Ordinary, key, std::move(value), config::kScopeMachine);
}

}  // namespace

int app_main(int argc, const char* const* argv) {
    // 1. Another destager is running: touch nothing, log nothing.
    if (suite::isUpdateInProgress()) {
        return -3;
    }
    // 2. Held until the outcome is saved (step 19).
    WinUtils::AutoHandle updateInProgress;
    suite::createUpdateInProgressEvent(updateInProgress);
    // 3, 4.
    const auto startTime = foundation::clock().monotonicNow();
    ShutdownGuard::create(std::string(kAppKeyPath));

    int exitCode = 0;
    // The framework's own start and teardown are guarded too; by then little is left to log to.
    try {
        // 5.
        AppCore core(makeAppCoreParams(argc, argv));
        core.preInit();
        leaveStagedFolder();
        // 6.
        if (!createCommonAppDataDirectory()) {
            exitCode = -1;
        } else {
            // 7, 8.
            core.init();
            ShutdownGuard::getMutable().init(true);
            domain::settings::machine::loadMachineSettingsToConfigSys();
            // 9 to 12.
            const destager::DestagerOptions options = destager::parseCommandLine(argc, argv);
            auto& config = config::configSystem();
            if (options.attended) {
                config.setBool(config::Store::Ordinary, "runtime.isAttendedUpdate", true,
                               config::kScopeStatic);
            }
            std::optional<WinUtils::ComInitializer> com(std::in_place);

            // 13 to 16. A failed key repair or install-path check skips the update, not the rest. No
            // exception may end the run: it is logged and recorded, never as a success it did not have.
            int32_t result = kUnexpectedFailure;
            try {
                result = fixupMainAppKeys(options);
                const std::wstring installLocation = fs::Path::fromUtf8(utils::getInstallLocation()).wide();
                auto executable = fs::filesystem().executablePath();
                const std::wstring executablePath =
                    executable.isOk() ? executable.peek().wide() : std::wstring();
                if (result == 0) {
                    result = validateInstallPath(installLocation, executablePath);
                }
                if (result == 0) {
                    const DestageContext context = buildDestageContext(
                        installLocation, executablePath, foundation::clock().now100nsSinceEpoch(),
                        std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
                    result = destager::applyUpdate(options, context);
                }
            } catch (const std::exception& e) {
                result = kUnexpectedFailure;
                KVX_LOG_FATAL("Unhandled exception, the update is cut short: {}", e.what());
            } catch (...) {
                result = kUnexpectedFailure;
                KVX_LOG_FATAL("Unhandled exception of unknown type, the update is cut short");
            }

            // 17, 18. From here on every machine-scope change is written through to machine.ini.
            const bool loopDetected = destager::isUpdateLoopDetected(result);
            KVX_LOG_INFO("{} = [{}].", "machine.destageResult", result);
            const auto duration = std::chrono::duration_cast<std::chrono::milliseconds>(
                foundation::clock().monotonicNow() - startTime);
            setMachineKey("machine.destageResult", std::to_string(result));
            config.setUInt64(config::Store::Ordinary, "machine.destageDuration",
                             static_cast<uint64_t>(duration.count()), config::kScopeMachine);
            config.setBool(config::Store::Ordinary, "machine.destageAttended", options.attended,
                           config::kScopeMachine);
            config.setBool(config::Store::Ordinary, "machine.updatePending", false, config::kScopeMachine);
            domain::settings::machine::saveMachineSettingsToFile(config.filterByScope(config::kScopeMachine));
            domain::settings::machine::registerMachineSettingsWriteThrough();

            // 19. A new destager may start from here on.
            updateInProgress.reset();

            // 20, 21.
            try {
                const destager::AfterUpdatePlan plan =
                    destager::planAfterUpdate(result, options.action, loopDetected);
                if (plan.loopWarning) {
                    KVX_LOG_WARN("{}", *plan.loopWarning);
                }
                if (plan.repairProtocolsAndAvailability) {
                    systemUtils::overwriteProtocolAndSdkPaths();
                    suite::setThirdPartyAvailability(true);
                }
                if (plan.relaunch) {
                    startClient(options, result,
                                {utils::getDesktopDirectory(), utils::getLaunchHelperDirectory()});
                }
                if (plan.resetAttemptTracking) {
                    setMachineKey("machine.updateAttemptCount", "0");
                    setMachineKey("machine.telemetry.updateCorrelationId", "");
                }
            } catch (const std::exception& e) {
                KVX_LOG_FATAL("Unhandled exception after the update: {}", e.what());
            } catch (...) {
                KVX_LOG_FATAL("Unhandled exception of unknown type after the update");
            }

            // 22.
            ShutdownGuard::getMutable().stopSignalReceived();
            core.term();
            ShutdownGuard::destroy();
            com.reset();
        }
    } catch (const std::exception& e) {
        KVX_LOG_FATAL("Unhandled exception outside the update: {}", e.what());
    } catch (...) {
        KVX_LOG_FATAL("Unhandled exception of unknown type outside the update");
    }
    // 23.
    if (ShutdownGuard::exists()) {
        ShutdownGuard::destroy();
    }
    updateInProgress.reset();
    return exitCode;
}

}  // namespace kvx::apps
