#include "foundation/win/Privileges.h"

#include "foundation/Logging.h"
#include "foundation/win/AutoHandle.h"
#include "foundation/win/ErrorText.h"

namespace kvx::WinUtils {
namespace {

constexpr DWORD kAdjustAndQuery = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;  // 0x28

// Opens the process token and sets the privilege; the Windows error when either step failed.
DWORD setProcessPrivilege(const std::string& privilege, bool enable) {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), kAdjustAndQuery, &raw)) {
        return GetLastError();
    }
    AutoHandle token(raw);
    if (!setTokenPrivilege(token.get(), privilege.c_str(), enable)) {
        const DWORD error = GetLastError();
        return error != ERROR_SUCCESS ? error : ERROR_NOT_ALL_ASSIGNED;
    }
    return ERROR_SUCCESS;
}

}  // namespace

bool setTokenPrivilege(HANDLE token, const char* privilege, bool enable) {
    TOKEN_PRIVILEGES privileges{};
    if (!LookupPrivilegeValueA(nullptr, privilege, &privileges.Privileges[0].Luid)) {
        KVX_LOG_ERROR("LookupPrivilegeValue error [{}]", getErrorAsString(GetLastError()));
        return false;
    }
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    if (!AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(privileges), nullptr, nullptr)) {
        KVX_LOG_ERROR("AdjustTokenPrivileges error [{}]", getErrorAsString(GetLastError()));
        return false;
    }
    if (GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
        KVX_LOG_ERROR("AdjustTokenPrivileges error, the token does not have the specified privilege: {}", privilege);
        SetLastError(ERROR_NOT_ALL_ASSIGNED);
        return false;
    }
    return true;
}

AutoPrivilegeManager::AutoPrivilegeManager(const char* privilege) : mPrivilege(privilege) {
    mError = setProcessPrivilege(mPrivilege, true);
    mEnabled = mError == ERROR_SUCCESS;
    if (mEnabled) {
        KVX_LOG_DEBUG("TCB Privilege enabled");
    }
}

AutoPrivilegeManager::~AutoPrivilegeManager() {
    if (mEnabled && setProcessPrivilege(mPrivilege, false) == ERROR_SUCCESS) {
        KVX_LOG_DEBUG("TCB Privilege disabled");
    }
}

}  // namespace kvx::WinUtils
