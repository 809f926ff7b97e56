#pragma once
// One Windows service: open or create it, read its state and configuration, stop it and wait
// for a state. Errors are logged and returned, never thrown.

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "process/AutoScHandle.h"
#include "process/ServiceTypes.h"

namespace kvx::services::platform {

class Win32Service {
public:
    explicit Win32Service(std::string_view utf8Name);

    // Opens the local manager ("ServicesActive") and then the service.
    OpenResult open(uint32_t managerAccess, uint32_t serviceAccess);
    // Needs an open manager and no service yet. `account` may be null (LocalSystem).
    bool create(uint32_t desiredAccess, ServiceStartType startType, const std::wstring& imagePath,
                const wchar_t* account);
    ServiceState getState(uint32_t* waitHintMs = nullptr);
    // On true `buffer` holds a QUERY_SERVICE_CONFIGW record.
    bool queryConfig(std::vector<uint8_t>& buffer);
    bool ensureStopped(int64_t timeoutMs);
    // `allowed` is the one other state tolerated while waiting; Invalid tolerates any.
    bool waitForState(ServiceState target, int64_t timeoutMs, ServiceState allowed);

    const std::string& utf8Name() const { return mUtf8Name; }
    SC_HANDLE serviceHandle() const { return mServiceHandle.get(); }

protected:
    std::wstring mName;
    std::string mUtf8Name;
    AutoSC_HANDLE mScmHandle;
    AutoSC_HANDLE mServiceHandle;
    std::vector<uint8_t> mBuffer;
};

// A service opened for one operation; closed (service, then manager) when it goes away.
class ServiceOpenState : public Win32Service {
public:
    ServiceOpenState(std::string_view utf8Name, uint32_t serviceAccess, uint32_t managerAccess);
    ~ServiceOpenState();

    OpenResult openResult() const { return mOpenResult; }

private:
    OpenResult mOpenResult;
};

}  // namespace kvx::services::platform
