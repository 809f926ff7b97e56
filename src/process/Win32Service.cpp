#include "process/Win32Service.h"

#include <algorithm>
#include <chrono>

#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "foundation/TextConversion.h"
#include "foundation/win/ErrorText.h"

namespace kvx::services::platform {
namespace {

using WinUtils::getErrorAsString;
using std::chrono::milliseconds;

constexpr int64_t kMinPauseMs = 1000;
constexpr int64_t kMaxPauseMs = 2000;

std::string lastErrorText() { return getErrorAsString(GetLastError()); }

}  // namespace

Win32Service::Win32Service(std::string_view utf8Name)
    : mName(foundation::widen(utf8Name, KVX_SOURCE_LOCATION)), mUtf8Name(utf8Name) {}

OpenResult Win32Service::open(uint32_t managerAccess, uint32_t serviceAccess) {
    mScmHandle = OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, managerAccess);
    if (mScmHandle.get() == nullptr) {
        KVX_LOG_ERROR("Error opening SCM ({})", lastErrorText());
        return OpenResult::Error;
    }
    mServiceHandle = OpenServiceW(mScmHandle.get(), mName.c_str(), serviceAccess);
    if (mServiceHandle.get() != nullptr) {
        return OpenResult::Opened;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
        return OpenResult::NotPresent;
    }
    KVX_LOG_ERROR("Error opening service:'{}' ({})", mUtf8Name, getErrorAsString(error));
    return OpenResult::Error;
}

bool Win32Service::create(uint32_t desiredAccess, ServiceStartType startType, const std::wstring& imagePath,
                          const wchar_t* account) {
    Win32Service& handle = *this;
    KVX_ASSERT(foundation::AssertLevel::Error, handle.mScmHandle.getHandle(), "No service manager is open");
    KVX_ASSERT(foundation::AssertLevel::Error, handle.mServiceHandle.getHandle() == nullptr,
               "The service is already open");
    mServiceHandle = CreateServiceW(mScmHandle.get(), mName.c_str(), mName.c_str(), desiredAccess,
                                    SERVICE_WIN32_OWN_PROCESS, toWindowsStartType(startType), SERVICE_ERROR_NORMAL,
                                    imagePath.c_str(), nullptr, nullptr, nullptr, account, nullptr);
    if (mServiceHandle.get() == nullptr) {
        KVX_LOG_ERROR("Unable to create service ({}).", lastErrorText());
        return false;
    }
    KVX_LOG_INFO("Service '{}' registered successfully in SCM database.", mUtf8Name);
    return true;
}

ServiceState Win32Service::getState(uint32_t* waitHintMs) {
    if (mBuffer.size() < sizeof(SERVICE_STATUS_PROCESS)) {
        mBuffer.resize(sizeof(SERVICE_STATUS_PROCESS));
    }
    DWORD needed = 0;
    BOOL queried = QueryServiceStatusEx(mServiceHandle.get(), SC_STATUS_PROCESS_INFO, mBuffer.data(),
                                        static_cast<DWORD>(mBuffer.size()), &needed);
    if (!queried && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        mBuffer.resize(std::max<size_t>(mBuffer.size(), needed));
        queried = QueryServiceStatusEx(mServiceHandle.get(), SC_STATUS_PROCESS_INFO, mBuffer.data(),
                                       static_cast<DWORD>(mBuffer.size()), &needed);
    }
    if (!queried) {
        KVX_LOG_ERROR("Unable to query service status. Service: '{}' ({})", mUtf8Name, lastErrorText());
        return ServiceState::Invalid;
    }
    const auto* status = reinterpret_cast<const SERVICE_STATUS_PROCESS*>(mBuffer.data());
    const ServiceState state = fromWindowsState(status->dwCurrentState);
    if (state == ServiceState::Invalid) {
        KVX_ASSERT_ALWAYS(foundation::AssertLevel::Error, "Unhandled State {}", status->dwCurrentState);
    }
    if (waitHintMs != nullptr) {
        *waitHintMs = status->dwWaitHint;
    }
    return state;
}

bool Win32Service::queryConfig(std::vector<uint8_t>& buffer) {
    DWORD needed = 0;
    if (!QueryServiceConfigW(mServiceHandle.get(), nullptr, 0, &needed) &&
        GetLastError() == ERROR_INSUFFICIENT_BUFFER && buffer.size() < needed) {
        buffer.resize(needed);
    }
    if (buffer.empty() ||
        !QueryServiceConfigW(mServiceHandle.get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
                             static_cast<DWORD>(buffer.size()), &needed)) {
        KVX_LOG_ERROR("Unable to query service config. Service: '{}' ({})", mUtf8Name, lastErrorText());
        return false;
    }
    return true;
}

bool Win32Service::ensureStopped(int64_t timeoutMs) {
    const ServiceState state = getState();
    if (state == ServiceState::Stopped) {
        KVX_LOG_INFO("Service not running: '{}'", mUtf8Name);
        return true;
    }
    if (state != ServiceState::StopPending) {
        SERVICE_STATUS status{};
        if (ControlService(mServiceHandle.get(), SERVICE_CONTROL_STOP, &status)) {
            KVX_LOG_INFO("Service sent stop command.");
            if (status.dwCurrentState == SERVICE_STOPPED) {
                KVX_LOG_INFO("Service stopped: '{}'", mUtf8Name);
                return true;
            }
        } else {
            // Someone else may be stopping it; wait all the same.
            KVX_LOG_ERROR("Unable to stop service. Service: '{}' ({})", mUtf8Name, lastErrorText());
        }
    }
    if (timeoutMs < 1) {
        return false;
    }
    if (waitForState(ServiceState::Stopped, timeoutMs, ServiceState::StopPending)) {
        KVX_LOG_INFO("Service stopped: '{}'", mUtf8Name);
        return true;
    }
    return false;
}

bool Win32Service::waitForState(ServiceState target, int64_t timeoutMs, ServiceState allowed) {
    auto& clock = foundation::clock();
    const auto deadline = clock.monotonicNow() + milliseconds(timeoutMs);
    do {
        uint32_t waitHint = 0;
        const ServiceState state = getState(&waitHint);
        if (state == target) {
            return true;
        }
        if (state == ServiceState::Invalid) {
            KVX_LOG_ERROR("Unable to re-query service status. Service: '{}' ({})", mUtf8Name, lastErrorText());
            return false;
        }
        if (allowed != ServiceState::Invalid && state != allowed) {
            KVX_LOG_ERROR("Service is in unexpected state: '{}'", mUtf8Name);
            return false;
        }
        KVX_LOG_INFO("Waiting for service...");
        clock.sleepFor(milliseconds(std::clamp<int64_t>(waitHint / 10, kMinPauseMs, kMaxPauseMs)));
    } while (clock.monotonicNow() < deadline);
    KVX_LOG_ERROR("Timed out while waiting for the service to reach state [{}]. Service: '{}'",
                  static_cast<uint32_t>(target), mUtf8Name);
    return false;
}

ServiceOpenState::ServiceOpenState(std::string_view utf8Name, uint32_t serviceAccess, uint32_t managerAccess)
    : Win32Service(utf8Name), mOpenResult(open(managerAccess, serviceAccess)) {}

ServiceOpenState::~ServiceOpenState() {
    mBuffer.clear();
    mBuffer.shrink_to_fit();
    mServiceHandle.reset();
    mScmHandle.reset();
}

}  // namespace kvx::services::platform
