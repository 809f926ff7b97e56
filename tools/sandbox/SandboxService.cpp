#include "SandboxService.h"

#include <vector>

#include "SandboxLayout.h"
#include "SandboxWaits.h"
#include "foundation/win/AutoHandle.h"
#include "process/AutoScHandle.h"

namespace kvx::sandbox {

namespace {

using services::platform::AutoSC_HANDLE;

constexpr DWORD kServiceWaitMs = 15000;

std::string lastError(const char* what) { return std::string(what) + " failed: " + std::to_string(GetLastError()); }

SERVICE_STATUS_PROCESS statusOf(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                              &needed)) {
        status.dwCurrentState = 0;
    }
    return status;
}

void readConfig(SC_HANDLE service, ServiceInfo& info) {
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    std::vector<uint8_t> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (needed != 0 && QueryServiceConfigW(service, config, needed, &needed)) {
        info.startType = config->dwStartType;
        info.imagePath = config->lpBinaryPathName == nullptr ? L"" : config->lpBinaryPathName;
    }
    needed = 0;
    QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
    std::vector<uint8_t> described(needed);
    auto* description = reinterpret_cast<SERVICE_DESCRIPTIONW*>(described.data());
    if (needed != 0 &&
        QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, described.data(), needed, &needed) &&
        description->lpDescription != nullptr) {
        info.description = description->lpDescription;
    }
}

AutoSC_HANDLE openManager() { return AutoSC_HANDLE(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)); }

AutoSC_HANDLE openService(const AutoSC_HANDLE& manager) {
    return AutoSC_HANDLE(OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
}

Result<AutoSC_HANDLE, std::string> registerService(const AutoSC_HANDLE& manager, const std::wstring& image) {
    AutoSC_HANDLE service = openService(manager);
    if (service.get() != nullptr) {
        if (!ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_DEMAND_START, SERVICE_NO_CHANGE,
                                  image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
            return Err{lastError("ChangeServiceConfig")};
        }
    } else {
        service = AutoSC_HANDLE(CreateServiceW(manager.get(), kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                               SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                               image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
        if (service.get() == nullptr) {
            return Err{lastError("CreateService")};
        }
    }
    SERVICE_DESCRIPTIONW description{const_cast<wchar_t*>(kServiceDescription)};
    if (!ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &description)) {
        return Err{lastError("ChangeServiceConfig2")};
    }
    return Ok{std::move(service)};
}

void endServiceProcess(DWORD pid) {
    WinUtils::AutoHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (process) {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), kServiceWaitMs);
    }
}

}  // namespace

Result<void, std::string> installService(const std::filesystem::path& exe, bool start) {
    AutoSC_HANDLE manager = openManager();
    if (manager.get() == nullptr) {
        return Err{lastError("OpenSCManager")};
    }
    auto registered = registerService(manager, L"\"" + exe.wstring() + L"\"");
    if (registered.isError()) {
        return Err{registered.unwrapError()};
    }
    AutoSC_HANDLE service = registered.unwrap();
    if (!start) {
        return Ok{};
    }
    if (!StartServiceW(service.get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        return Err{lastError("StartService")};
    }
    if (!waitUntil(kServiceWaitMs, [&] { return statusOf(service.get()).dwCurrentState == SERVICE_RUNNING; })) {
        return Err{"the service did not report running within " + std::to_string(kServiceWaitMs) + " ms"};
    }
    return Ok{};
}

Result<void, std::string> removeService() {
    AutoSC_HANDLE manager = openManager();
    if (manager.get() == nullptr) {
        return Err{lastError("OpenSCManager")};
    }
    AutoSC_HANDLE service = openService(manager);
    if (service.get() == nullptr) {
        return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? Result<void, std::string>(Ok{})
                                                               : Err{lastError("OpenService")};
    }
    SERVICE_STATUS ignored{};
    ControlService(service.get(), SERVICE_CONTROL_STOP, &ignored);
    const bool stopped =
        waitUntil(kServiceWaitMs, [&] { return statusOf(service.get()).dwCurrentState == SERVICE_STOPPED; });
    if (const DWORD pid = statusOf(service.get()).dwProcessId; !stopped && pid != 0) {
        endServiceProcess(pid);
    }
    if (!DeleteService(service.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
        return Err{lastError("DeleteService")};
    }
    return Ok{};
}

ServiceInfo queryService() {
    ServiceInfo info;
    AutoSC_HANDLE manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    AutoSC_HANDLE service(OpenServiceW(manager.get(), kServiceName, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
    if (service.get() == nullptr) {
        return info;
    }
    const SERVICE_STATUS_PROCESS status = statusOf(service.get());
    info.installed = true;
    info.state = status.dwCurrentState;
    info.pid = status.dwProcessId;
    readConfig(service.get(), info);
    return info;
}

std::string serviceStateText(const ServiceInfo& info) {
    if (!info.installed) {
        return "not installed";
    }
    switch (info.state) {
        case SERVICE_STOPPED:
            return "stopped";
        case SERVICE_START_PENDING:
            return "start pending";
        case SERVICE_STOP_PENDING:
            return "stop pending";
        case SERVICE_RUNNING:
            return "running";
        case SERVICE_CONTINUE_PENDING:
            return "continue pending";
        case SERVICE_PAUSE_PENDING:
            return "pause pending";
        case SERVICE_PAUSED:
            return "paused";
        default:
            return "unknown (" + std::to_string(info.state) + ")";
    }
}

std::string startTypeText(DWORD startType) {
    switch (startType) {
        case SERVICE_BOOT_START:
            return "boot";
        case SERVICE_SYSTEM_START:
            return "system";
        case SERVICE_AUTO_START:
            return "auto";
        case SERVICE_DEMAND_START:
            return "demand";
        case SERVICE_DISABLED:
            return "disabled";
        default:
            return "unknown (" + std::to_string(startType) + ")";
    }
}

}  // namespace kvx::sandbox
