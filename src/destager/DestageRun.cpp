#include "destager/DestageRun.h"

#include "destager/AfterUpdatePlan.h"
#include "destager/DestageContext.h"
#include "destager/LoopDetection.h"
#include "destager/UpdateOrchestration.h"
#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "foundation/fs/IFilesystem.h"
#include "framework/config/ConfigSystem.h"
#include "framework/settings/MachineSettings.h"
#include "integration/AppRegistryKeys.h"
#include "integration/InstallLocation.h"
#include "integration/ProtocolHandlers.h"
#include "integration/ThirdPartyAvailability.h"
#include "process/ClientLaunch.h"
#include "process/InstallPathValidation.h"

namespace kvx::apps::internal {

namespace {

using services::logging::Info;
using services::logging::Warn;

void setMachineKey(std::string_view key, std::string value) {
    config::configSystem().set(config::Store::Ordinary, key, std::move(value), config::kScopeMachine);
}

}  // namespace

InstallPaths gatherInstallPaths() {
    InstallPaths paths;
    paths.installLocation = fs::Path::fromUtf8(utils::getInstallLocation()).wide();
    auto executable = fs::filesystem().executablePath();
    if (executable.isOk()) {
        paths.executablePath = executable.peek().wide();
    }
    return paths;
}

int32_t runUpdate(const destager::DestagerOptions& options) {
    int32_t result = fixupMainAppKeys(options);
    const InstallPaths paths = gatherInstallPaths();
    if (result == 0) {
        result = validateInstallPath(paths.installLocation, paths.executablePath);
    }
    if (result == 0) {
        const DestageContext context =
            buildDestageContext(paths.installLocation, paths.executablePath, foundation::clock().now100nsSinceEpoch());
        result = destager::applyUpdate(options, context);
    }
    return result;
}

void recordOutcome(int32_t result, bool attended, std::chrono::nanoseconds startTime) {
    KVX_LOG_AS(kAppMainFunction, Info, "{} = [{}].", "machine.destageResult", result);
    const auto duration =
        std::chrono::duration_cast<std::chrono::milliseconds>(foundation::clock().monotonicNow() - startTime);
    auto& config = config::configSystem();
    setMachineKey("machine.destageResult", std::to_string(result));
    config.setUInt64(config::Store::Ordinary, "machine.destageDuration", static_cast<uint64_t>(duration.count()),
                     config::kScopeMachine);
    config.setBool(config::Store::Ordinary, "machine.destageAttended", attended, config::kScopeMachine);
    config.setBool(config::Store::Ordinary, "machine.updatePending", false, config::kScopeMachine);
    domain::settings::machine::saveMachineSettingsToFile(config.filterByScope(config::kScopeMachine));
    domain::settings::machine::registerMachineSettingsWriteThrough();
}

void finishRun(const destager::DestagerOptions& options, int32_t result, bool loopDetected) {
    const destager::AfterUpdatePlan plan = destager::planAfterUpdate(result, options.action, loopDetected);
    if (plan.loopWarning) {
        KVX_LOG_AS(kAppMainFunction, Warn, "{}", *plan.loopWarning);
        return;
    }
    if (plan.repairProtocolsAndAvailability) {
        systemUtils::overwriteProtocolAndSdkPaths();
        suite::setThirdPartyAvailability(true);
    }
    if (plan.relaunch) {
        startClient(options, result);
    }
    if (plan.resetAttemptTracking) {
        setMachineKey("machine.updateAttemptCount", "0");
        setMachineKey("machine.telemetry.updateCorrelationId", "");
    }
}

void runDestage(int argc, const char* const* argv, std::chrono::nanoseconds startTime,
                WinUtils::AutoHandle& updateInProgress, std::optional<WinUtils::ComInitializer>& com) {
    domain::settings::machine::loadMachineSettingsToConfigSys();
    const destager::DestagerOptions options = destager::parseCommandLine(argc, argv);
    if (options.attended) {
        config::configSystem().setBool(config::Store::Ordinary, "runtime.isAttendedUpdate", true, config::kScopeStatic);
    }
    com.emplace();
    const int32_t result = runUpdate(options);
    const bool loopDetected = destager::isUpdateLoopDetected(result);
    recordOutcome(result, options.attended, startTime);
    updateInProgress.reset();
    finishRun(options, result, loopDetected);
}

}  // namespace kvx::apps::internal
