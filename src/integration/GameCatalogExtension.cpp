#include "integration/GameCatalogExtension.h"

#include <windows.h>

#include <string>
#include <vector>

#include <fmt/format.h>

#include "foundation/Logging.h"
#include "foundation/SafeFormat.h"
#include "foundation/fs/Path.h"
#include "foundation/registry/RegistryKey.h"
#include "foundation/win/AutoHandle.h"
#include "foundation/win/ProcessToken.h"
#include "framework/telemetry/TelemetryEvent.h"
#include "integration/GameCatalogRegistration.h"
#include "integration/InstallLocation.h"
#include "process/ProcessUtils.h"

namespace kvx::services::comInstall {

namespace {

constexpr const wchar_t* kConnectorExe = L"KorvConnect_microsoft.exe";
constexpr const char* kExplorerExe = "Explorer.exe";

template <typename... Args>
Result<void, std::string> logErrorResult(std::string_view action, fmt::format_string<Args...> format,
                                         Args&&... args) {
    std::string message = foundation::safeFormat(format, std::forward<Args>(args)...);
    KVX_LOG_AS("kvx::services::comInstall::logErrorResult", logging::Error, "{}", message);
    foundation::recordTelemetryEvent(
        foundation::TelemetryEvent(fmt::format("{}.{}.error", "com", action)).setParam("message", message));
    return Err{std::move(message)};
}

void recordSuccess(std::string_view action) {
    foundation::recordTelemetryEvent(
        foundation::TelemetryEvent(fmt::format("{}.{}.{}", "com", action, "success")));
}

std::string stateName(InstallationState state) {
    return std::string(apps::suite::installationStateName(state));
}

bool writeState(HKEY root, const std::string& path, InstallationState state) {
    return foundation::RegistryKey(root, path, true, true).set("State", static_cast<uint32_t>(state));
}

// The interactive users' shells.
std::vector<uint32_t> explorerProcesses() {
    std::vector<uint32_t> pids;
    auto walked = process::walkProcesses([&](const process::ProcessEntry& entry) {
        if (CompareStringOrdinal(entry.exeName, -1, L"Explorer.exe", -1, TRUE) == CSTR_EQUAL) {
            pids.push_back(entry.pid);
        }
        return true;
    });
    // Without a snapshot no shell can be named.
    return walked.isOk() ? pids : std::vector<uint32_t>{};
}

Result<std::string, std::string> userSidOf(uint32_t pid) {
    WinUtils::AutoHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) {
        return Err{fmt::format("OpenProcess failed for pid {}: {}", pid, GetLastError())};
    }
    return WinUtils::getProcessUserSid(process.get());
}

}  // namespace

Result<void, std::string> installComServer() {
    // The live client folder, not the running program's own: the destager runs from the staged
    // copy, which the swap has just moved, so its folder no longer exists when this is called.
    const fs::Path folder = fs::Path::fromUtf8(apps::utils::getInstallLocation()) / L"Korv Desktop";
    const fs::Path connector = folder / kConnectorExe;
    const std::wstring commandLine = connector.wide() + L" \"korvconnect.microsoft://\"";

    if (FAILED(setExtensionFolderPermissions(folder.wide()))) {
        return logErrorResult("install", "Failed to set extension folder permissions for: [{}]",
                              folder.utf8());
    }
    KVX_LOG_INFO("Setting extension folder permissions for: [{}]", folder.utf8());
    if (FAILED(registerLocalServer(kExtensionClsid, kExtensionName, commandLine))) {
        return logErrorResult("install", "Failed to register com server with GCE_CLSID: [{}]",
                              kExtensionClsid);
    }
    KVX_LOG_INFO("Registering com server with GCE_CLSID: [{}]", kExtensionClsid);
    if (FAILED(registerExtension(kExtensionName, kStoreProductId, kExtensionClsid)) ||
        FAILED(makeExtensionLoadable(kStoreProductId))) {
        return logErrorResult("install", "Failed to register extension as loadable xbox app: [{}]",
                              kStoreProductId);
    }
    KVX_LOG_INFO("Registering extension as loadable xbox app: [{}]", kStoreProductId);
    if (auto state = setInstallationState(InstallationState::Installed); state.isError()) {
        return logErrorResult("install", "{}", state.peekError());
    }
    recordSuccess("install");
    return Ok{};
}

Result<void, std::string> disableComServer() {
    if (auto state = setInstallationState(InstallationState::Updating); state.isError()) {
        return logErrorResult("disable", "{}", state.peekError());
    }
    recordSuccess("disable");
    return Ok{};
}

Result<std::string, std::string> setInstallationState(InstallationState state) {
    if (!writeState(HKEY_LOCAL_MACHINE, kStateKeyPath, state)) {
        return Err{fmt::format("Failed to set local machine extension installation state set to: {}",
                               stateName(state))};
    }
    KVX_LOG_INFO("LOCAL_MACHINE registry extension installation state set to: {}", stateName(state));
    const std::vector<uint32_t> explorers = explorerProcesses();
    if (explorers.empty()) {
        return Err{fmt::format("Failed to find processes with exe name: [{}]", kExplorerExe)};
    }
    for (const uint32_t pid : explorers) {
        auto sid = userSidOf(pid);
        if (sid.isError()) {
            KVX_LOG_ERROR("Failed to get user SID: [{}]", sid.peekError());
            continue;
        }
        if (auto written = setInstallationStateForUser(state, sid.peek()); written.isError()) {
            KVX_LOG_ERROR("{}", written.peekError());
        }
    }
    KVX_LOG_INFO("Set COM installation state to: {}", stateName(state));
    return Ok{stateName(state)};
}

Result<void, std::string> setInstallationStateForUser(InstallationState state, std::string_view userSid) {
    if (!writeState(HKEY_USERS, fmt::format("{}\\{}", userSid, kStateKeyPath), state)) {
        return Err{fmt::format("Failed to set installation state to: {}", stateName(state))};
    }
    KVX_LOG_INFO("Set installation state to: {}", stateName(state));
    return Ok{};
}

}  // namespace kvx::services::comInstall
