#include "destager/AppMain.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "destager/AfterUpdatePlan.h"
#include "destager/CrashPoints.h"
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

constexpr const char* kMainFunction = "kvx::apps::app_main";

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

// Exceptions come only from programming errors that a check found. One ends the step it escapes from,
// never the run: the outcome is still recorded, the suite handed back and the client relaunched.
template <typename Step>
bool runGuarded(std::string_view step, Step&& run) {
    using services::logging::Fatal;
    try {
        run();
        return true;
    } catch (const std::exception& e) {
        KVX_LOG_AS(kMainFunction, Fatal, "Unhandled exception in step[{}]: {}", step, e.what());
    } catch (...) {
        KVX_LOG_AS(kMainFunction, Fatal, "Unhandled exception of unknown type in step[{}]", step);
    }
    return false;
}

// 13 to 16. A failed key repair or install-path check skips the update, not the rest.
int32_t repairKeysAndApplyUpdate(const destager::DestagerOptions& options, const std::vector<std::string>& arguments) {
    destager::crashPoint(destager::CrashStep::mainBeforeKeyRepair);
    int32_t result = fixupMainAppKeys(options);
    const std::wstring installLocation = fs::Path::fromUtf8(utils::getInstallLocation()).wide();
    auto executable = fs::filesystem().executablePath();
    const std::wstring executablePath = executable.isOk() ? executable.peek().wide() : std::wstring();
    if (result == 0) {
        result = validateInstallPath(installLocation, executablePath);
    }
    if (result == 0) {
        const DestageContext context =
            buildDestageContext(installLocation, executablePath, foundation::clock().now100nsSinceEpoch(), arguments);
        result = destager::applyUpdate(options, context);
    }
    return result;
}

// 18. From here on every machine-scope change is written through to machine.ini.
void recordOutcome(int32_t result, bool attended, std::chrono::nanoseconds startTime) {
    destager::crashPoint(destager::CrashStep::mainBeforeBookkeeping);
    auto& config = config::configSystem();
    KVX_LOG_AS(kMainFunction, services::logging::Info, "{} = [{}].", "machine.destageResult", result);
    const auto duration =
        std::chrono::duration_cast<std::chrono::milliseconds>(foundation::clock().monotonicNow() - startTime);
    setMachineKey("machine.destageResult", std::to_string(result));
    config.setUInt64(config::Store::Ordinary, "machine.destageDuration",
                     static_cast<uint64_t>(duration.count()), config::kScopeMachine);
    config.setBool(config::Store::Ordinary, "machine.destageAttended", attended, config::kScopeMachine);
    config.setBool(config::Store::Ordinary, "machine.updatePending", false, config::kScopeMachine);
    domain::settings::machine::saveMachineSettingsToFile(config.filterByScope(config::kScopeMachine));
    domain::settings::machine::registerMachineSettingsWriteThrough();
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
    // 5. Outside every guarded step: its logger must outlive them, so that their FATAL line is written.
    AppCore core(makeAppCoreParams(argc, argv));
    std::optional<WinUtils::ComInitializer> com;
    int exitCode = 0;
    const bool started = runGuarded("start", [&] {
        core.preInit();
        leaveStagedFolder();
        // 6.
        if (!createCommonAppDataDirectory()) {
            exitCode = -1;
            return;
        }
        // 7, 8.
        core.init();
        ShutdownGuard::getMutable().init(true);
        domain::settings::machine::loadMachineSettingsToConfigSys(commonAppDataDirectoryProtected());
    });
    if (started && exitCode == 0) {
        // 9 to 12.
        destager::DestagerOptions options;
        runGuarded("options", [&] {
            options = destager::parseCommandLine(argc, argv);
            if (options.attended) {
                config::configSystem().setBool(config::Store::Ordinary, "runtime.isAttendedUpdate", true,
                                               config::kScopeStatic);
            }
        });
        com.emplace();

        // 13 to 17. How far a step that threw got is unknown: it is never taken for a success.
        int32_t result = kUnexpectedFailure;
        // The arguments after the program's name: a run resumed after a restart is started with them.
        const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
        runGuarded("update", [&] { result = repairKeysAndApplyUpdate(options, arguments); });
        bool loopDetected = false;
        if (!runGuarded("loop check", [&] {
                destager::crashPoint(destager::CrashStep::mainBeforeLoopCheck);
                loopDetected = destager::isUpdateLoopDetected(result);
            })) {
            result = kUnexpectedFailure;
        }
        // 18. A second try records the failure itself.
        if (!runGuarded("bookkeeping", [&] { recordOutcome(result, options.attended, startTime); })) {
            result = kUnexpectedFailure;
            runGuarded("bookkeeping", [&] { recordOutcome(result, options.attended, startTime); });
        }

        // 19. A new destager may start from here on.
        updateInProgress.reset();

        // 20, 21. Each duty is done even when the one before it threw.
        const destager::AfterUpdatePlan plan =
            destager::planAfterUpdate(result, options.action, loopDetected);
        if (plan.loopWarning) {
            KVX_LOG_WARN("{}", *plan.loopWarning);
        }
        if (plan.repairProtocolsAndAvailability) {
            runGuarded("protocol repair", [] {
                destager::crashPoint(destager::CrashStep::mainBeforeProtocolRepair);
                systemUtils::overwriteProtocolAndSdkPaths();
            });
            runGuarded("availability", [] { suite::setThirdPartyAvailability(true); });
        }
        if (plan.relaunch) {
            runGuarded("relaunch", [&] {
                startClient(options, result,
                            {utils::getDesktopDirectory(), utils::getLaunchHelperDirectory()});
            });
        }
        if (plan.resetAttemptTracking) {
            runGuarded("attempt tracking", [] {
                setMachineKey("machine.updateAttemptCount", "0");
                setMachineKey("machine.telemetry.updateCorrelationId", "");
            });
        }
    }

    // 22. Under the guard whatever happened above: a stalled teardown still ends.
    runGuarded("teardown", [&] {
        ShutdownGuard::getMutable().stopSignalReceived();
        if (core.isInitialized()) {
            core.term();
        }
    });
    ShutdownGuard::destroy();
    com.reset();
    // 23. The core goes when this returns, then the event handle if it is still open.
    return exitCode;
}

}  // namespace kvx::apps
