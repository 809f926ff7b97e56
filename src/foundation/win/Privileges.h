#pragma once
// Enabling a privilege of the process token, alone or for a scope.

#include <windows.h>

#include <cstdint>
#include <string>

namespace kvx::WinUtils {

// Enables or disables `privilege` on `token`; false (logged) when the token does not hold it.
bool setTokenPrivilege(HANDLE token, const char* privilege, bool enable);

// Enables one privilege of the process token for the lifetime of the object. A failed enable is
// reported by the owner, which reads enabled() and error().
class AutoPrivilegeManager {
public:
    explicit AutoPrivilegeManager(const char* privilege);
    ~AutoPrivilegeManager();
    AutoPrivilegeManager(const AutoPrivilegeManager&) = delete;
    AutoPrivilegeManager& operator=(const AutoPrivilegeManager&) = delete;

    bool enabled() const { return mEnabled; }
    // The Windows error of a failed enable.
    uint32_t error() const { return mError; }

private:
    std::string mPrivilege;
    bool mEnabled = false;
    uint32_t mError = 0;
};

}  // namespace kvx::WinUtils
