#include <windows.h>

#include <unordered_map>

#include "foundation/Logging.h"
#include "foundation/TextConversion.h"
#include "foundation/fs/IFilesystem.h"
#include "foundation/fs/PathRules.h"
#include "process/BackgroundService.h"
#include "process/ProcessUtils.h"
#include "process/SuiteProcesses.h"

namespace kvx::apps::suite {
namespace {

using services::process::processUtils;
using WinUtils::AutoHandle;

constexpr int64_t kBgServiceTimeoutMs = 15000;
constexpr uint64_t kRetryDelayMs = 1000;
constexpr uint8_t kRetryAttempts = 5;
constexpr uint32_t kSuiteProcessAccess = PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE;

// The install folder as a wide path ending in a separator; empty when unknown.
std::wstring installFolder(SuiteInstall& install) {
    std::wstring folder = foundation::widen(install.installLocation(), KVX_SOURCE_LOCATION);
    if (folder.empty() || !fs::filesystem().isDirectory(fs::Path(folder))) {
        return {};
    }
    if (folder.back() != L'\\' && folder.back() != L'/') {
        folder.push_back(L'\\');
    }
    return folder;
}

}  // namespace

bool enterRepairStateProcesses(SuiteInstall& install, StopMode mode, int64_t waitMs,
                               RepairStateResult& result) {
    result.availabilityChanged = install.setThirdPartyAvailability(false);
    result.suiteProcessesStopped = stopSuiteProcesses(install, mode, waitMs, result);
    result.knownExecutablesStopped = stopKnownExecutables(mode, waitMs, result);
    return result.suiteProcessesStopped || result.knownExecutablesStopped;
}

bool stopSuiteProcesses(SuiteInstall& install, StopMode mode, int64_t waitMs, RepairStateResult& result) {
    const uint32_t self = processUtils().getCurrentProcessId();
    if (mode != kStopModeKeepService && !stopBgService(kBgServiceTimeoutMs)) {
        KVX_LOG_ERROR("Background service failed to stop normally, will terminate remaining service processes");
        result.bgsStopFailed = true;
    }
    std::vector<SuiteProcessInfo> processes = getSuiteProcesses(install);
    std::unordered_map<HANDLE, const SuiteProcessInfo*> byHandle;
    for (const auto& process : processes) {
        byHandle.emplace(process.handle.get(), &process);
    }
    std::vector<AutoHandle> killList;
    for (auto& process : processes) {
        if (process.pid == self) {
            KVX_LOG_DEBUG("Not stopping current process {}", process.path);
            process.handle.reset();
        } else {
            KVX_LOG_DEBUG("Adding suite process {}", process.path);
            killList.push_back(std::move(process.handle));
        }
    }
    if (waitMs > 0) {
        waitForProcessesToExit(killList, waitMs);
    }
    if (tryStopProcesses(killList, kRetryDelayMs, kRetryAttempts)) {
        return true;
    }
    std::string paths;
    for (const auto& handle : killList) {
        const std::string& path = byHandle.at(handle.get())->path;
        paths += "," + path;
        result.failedToStop.insert(path);
    }
    KVX_LOG_WARN("Failed to stop processes to enter repair state[{}]", paths.substr(1));
    return false;
}

bool stopKnownExecutables(StopMode mode, int64_t waitMs, RepairStateResult& result) {
    std::unordered_set<std::string> names = getKnownExecutables(mode);
    if (waitMs > 0) {
        waitForProcessesToExit(names, waitMs);
    }
    if (!tryStopExecutables(names, kRetryDelayMs, kRetryAttempts)) {
        KVX_LOG_WARN("Failed to shut down exes to enter repair state, remainingExeCount[{}]", names.size());
        result.failedToStop.insert(names.begin(), names.end());
        return false;
    }
    if (mode != kStopModeKeepService && !stopBgService(kBgServiceTimeoutMs)) {
        KVX_LOG_WARN("Failed to stop background service");
        result.bgsStopFailed = true;
        return false;
    }
    return true;
}

std::vector<SuiteProcessInfo> getSuiteProcesses(SuiteInstall& install) {
    std::vector<SuiteProcessInfo> found;
    const std::wstring folder = installFolder(install);
    if (folder.empty()) {
        KVX_LOG_ERROR("Failed to determine install location");
        return found;
    }
    auto& utils = processUtils();
    utils.forEachProcessId([&](uint32_t pid) {
        auto process = utils.openProcess(pid, kSuiteProcessAccess);
        if (process.isError()) {
            return;
        }
        auto image = utils.getProcessImagePath(process.peek().get());
        if (image.isError() || !fs::isSameOrInsideFolder(folder, image.peek())) {
            return;
        }
        const std::string path = foundation::narrow(image.peek(), KVX_SOURCE_LOCATION);
        KVX_LOG_AS("kvx::apps::suite::getSuiteProcesses", services::logging::Info, "Found suite process {}: {}", pid,
                   path);
        found.push_back({pid, process.unwrap(), path});
    });
    return found;
}

}  // namespace kvx::apps::suite
