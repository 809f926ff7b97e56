#include "destager/RepairState.h"

#include <array>
#include <chrono>
#include <string>
#include <string_view>
#include <utility>

#include <fmt/format.h>

#include "destager/ErrorTelemetry.h"
#include "foundation/Logging.h"
#include "foundation/Retry.h"
#include "foundation/update/ResultCodes.h"
#include "integration/InstalledSuite.h"
#include "integration/ThirdPartyAvailability.h"
#include "process/SuiteProcesses.h"

namespace kvx::apps::destager::internal {

namespace {

using suite::RepairStateResult;

// The survivors that name the failure, most important first: the client is checked before the
// launcher, so a run with both left reports the client.
constexpr std::array<std::pair<std::string_view, int32_t>, 5> kNamedSurvivors{{
    {"KorvDesktop.exe", kRepairStateDesktopRunning},
    {"KorvLauncher.exe", kRepairStateLauncherRunning},
    {"KorvLaunchHelper.exe", kRepairStateLaunchHelperRunning},
    {"KorvConnect_microsoft.exe", kRepairStateConnectRunning},
    {"KorvLocalHostSvc.exe", kRepairStateLocalHostSvcRunning},
}};

void reportRepairStateResult(const RepairStateResult& result) {
    if (!result.availabilityChanged) {
        addErrorTelemetry(kUpecDiagnostics, kSeverityDiag, "Failed to set 3rd party availability");
    }
    if (result.suiteProcessesStopped != result.knownExecutablesStopped) {
        // Exactly one way failed: the by-name way succeeding means the by-path way did not.
        addErrorTelemetry(kUpecDiagnostics, kSeverityDiag, "Partial failure entering repair state [{}]",
                          result.knownExecutablesStopped ? "full suite step" : "known exe step");
    }
    if (result.bgsStopFailed) {
        addErrorTelemetry(kUpecDiagnostics, kSeverityDiag, "Failed to stop BGS");
    }
    if (!result.failedToStop.empty()) {
        addErrorTelemetry(kUpecDiagnostics, kSeverityDiag, "Failed to stop {} exes [{}]", result.failedToStop.size(),
                          fmt::join(result.failedToStop, ","));
    }
}

// 0 when nothing important survived; the caller logs the unspecified cases.
int32_t namedSurvivorCode(const RepairStateResult& result) {
    for (const auto& [name, code] : kNamedSurvivors) {
        if (result.failedToStop.contains(std::string(name))) {
            return code;
        }
    }
    return 0;
}

int32_t unspecifiedSurvivorCode(const RepairStateResult& result) {
    if (!result.failedToStop.empty()) {
        return kRepairStateOtherExecutablesRunning;
    }
    return result.bgsStopFailed ? kRepairStateServiceNotStopped : kRepairStateServiceStopped;
}

}  // namespace

int32_t enterRepairState() {
    return enterRepairState([](RepairStateResult& result) {
        return suite::enterRepairStateProcesses(suite::installedSuite(), suite::kStopModeRepair, 0, result);
    });
}

int32_t enterRepairState(const RepairStateStop& stop) {
    RepairStateResult result;
    const bool stopped = stop(result);
    reportRepairStateResult(result);
    if (stopped) {
        return kDestageSuccess;
    }
    if (const int32_t code = namedSurvivorCode(result); code != 0) {
        return code;
    }
    KVX_LOG_ERROR("Unspecified failure while shutting down apps/entering repair state. remainingExeCount[{}]",
                  result.failedToStop.size());
    for (const std::string& name : result.failedToStop) {
        KVX_LOG_ERROR("Failed to shut down exe[{}]", name);
    }
    return unspecifiedSurvivorCode(result);
}

void setSuiteUnavailable() {
    setSuiteUnavailable([] { return suite::setThirdPartyAvailability(false); });
}

void setSuiteUnavailable(const std::function<bool()>& markUnavailable) {
    KVX_LOG_VERBOSE("Setting suite as unavailable to third parties");
    foundation::FixedLengthWait schedule(10, std::chrono::milliseconds(25));
    if (!foundation::tryUntilOk(markUnavailable, nullptr, schedule)) {
        addErrorTelemetry(kUpecSetUnavailableState, kSeverityWarning, "Failed to set third party availability");
    }
}

}  // namespace kvx::apps::destager::internal
