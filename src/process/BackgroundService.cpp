#include "process/BackgroundService.h"

#include <chrono>

#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "framework/config/ConfigSystem.h"
#include "process/ServiceControlManager.h"
#include "process/SuiteProcesses.h"

namespace kvx::apps {
namespace {

using services::platform::ServiceControlManager;
using services::platform::ServiceStatus;

constexpr int64_t kTransitionBudgetMs = 5000;
constexpr int64_t kTransitionPauseMs = 1000;

}  // namespace

ServiceStatus pollServiceStatus(std::string_view name) {
    ServiceStatus status = ServiceStatus::Invalid;
    if (!ServiceControlManager::getServiceStatus(name, status)) {
        return ServiceStatus::Invalid;
    }
    bool first = true;
    for (int64_t budget = kTransitionBudgetMs; status == ServiceStatus::Pending && budget >= 1;
         budget -= kTransitionPauseMs) {
        if (std::exchange(first, false)) {
            KVX_LOG_DEBUG("Launcher: detected service is in between states - waiting for the transition to complete");
        }
        foundation::clock().sleepFor(std::chrono::milliseconds(kTransitionPauseMs));
        if (!ServiceControlManager::getServiceStatus(name, status)) {
            return status;
        }
    }
    return status;
}

bool stopService(std::string_view name, int64_t timeoutMs) {
    switch (pollServiceStatus(name)) {
        case ServiceStatus::Stopped:
            KVX_LOG_INFO("ProcessLauncher: [{}] was already stopped", name);
            return true;
        case ServiceStatus::Running:
            KVX_LOG_INFO("ProcessLauncher: [{}] is running, trying to stop it", name);
            return ServiceControlManager::stopService(name, timeoutMs);
        case ServiceStatus::Paused:
            KVX_LOG_INFO("ProcessLauncher: [{}] is paused", name);
            return false;
        case ServiceStatus::Pending:
            KVX_LOG_INFO("ProcessLauncher: [{}] never completed state transition", name);
            return false;
        case ServiceStatus::Invalid:
        case ServiceStatus::NotInstalled:
            break;
    }
    return false;
}

bool stopBgService(int64_t timeoutMs) {
    auto& config = config::configSystem();
    if (config.getBool("app.runBgsAsExe", false)) {
        if (config.getBool("app.multipleInstances", false)) {
            return true;
        }
        KVX_LOG_DEBUG("ProcessLauncher: stopping background service as executable");
        return stopExecutablesByName({kBgServiceExecutable});
    }
    return stopService(kBgServiceName, timeoutMs);
}

bool stopExecutablesByName(const std::unordered_set<std::string>& names) {
    return suite::stopExecutables(names).empty();
}

}  // namespace kvx::apps
