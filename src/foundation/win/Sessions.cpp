#include "foundation/win/Sessions.h"

#include <windows.h>
#include <wtsapi32.h>

#include "foundation/Logging.h"
#include "foundation/SafeFormat.h"
#include "foundation/SystemLibrary.h"
#include "foundation/win/ErrorText.h"
#include "foundation/win/Privileges.h"

namespace kvx::WinUtils {
namespace {

using EnumerateSessionsFn = BOOL WINAPI(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOA*, DWORD*);
using QuerySessionInformationFn = BOOL WINAPI(HANDLE, DWORD, WTS_INFO_CLASS, LPSTR*, DWORD*);
using FreeMemoryFn = void WINAPI(PVOID);
using QueryUserTokenFn = BOOL WINAPI(ULONG, PHANDLE);

constexpr const char* kTcbPrivilege = "SeTcbPrivilege";
// Every token right together with the most the caller may be granted (MAXIMUM_ALLOWED).
constexpr DWORD kTokenAllAccess = 0x20F01FF;

// The few wtsapi32 entry points this file needs; absent when the DLL or one of them is missing.
struct Wts {
    foundation::SystemLibrary library;
    EnumerateSessionsFn* enumerateSessions;
    QuerySessionInformationFn* querySessionInformation;
    FreeMemoryFn* freeMemory;
    QueryUserTokenFn* queryUserToken;
};

std::optional<Wts> loadWts() {
    auto library = foundation::SystemLibrary::load(L"wtsapi32.dll");
    if (library.isError()) {
        SetLastError(library.peekError().osError);
        return std::nullopt;
    }
    auto lib = library.unwrap();
    auto enumerate = lib.function<EnumerateSessionsFn>("WTSEnumerateSessionsA");
    auto query = lib.function<QuerySessionInformationFn>("WTSQuerySessionInformationA");
    auto freeMemory = lib.function<FreeMemoryFn>("WTSFreeMemory");
    auto token = lib.function<QueryUserTokenFn>("WTSQueryUserToken");
    if (enumerate.isError() || query.isError() || freeMemory.isError() || token.isError()) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return std::nullopt;
    }
    return Wts{std::move(lib), enumerate.unwrap(), query.unwrap(), freeMemory.unwrap(), token.unwrap()};
}

// Frees a wtsapi32 allocation on every path.
template <typename T>
struct WtsMemory {
    const Wts& wts;
    T* memory = nullptr;
    ~WtsMemory() {
        if (memory != nullptr) {
            wts.freeMemory(memory);
        }
    }
};

std::string lastErrorText() { return getErrorAsString(GetLastError()); }

}  // namespace

std::optional<uint32_t> getInteractiveSessionId() {
    auto wts = loadWts();
    WTS_SESSION_INFOA* sessions = nullptr;
    DWORD count = 0;
    if (!wts || !wts->enumerateSessions(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
        KVX_LOG_ERROR("Unable to enumerate sessions [{}]", lastErrorText());
        return std::nullopt;
    }
    WtsMemory<WTS_SESSION_INFOA> guard{*wts, sessions};
    for (DWORD i = 0; i < count; ++i) {
        if (sessions[i].State == WTSActive) {
            return sessions[i].SessionId;
        }
    }
    return std::nullopt;
}

Result<AutoHandle, std::string> getInteractiveSessionUserToken() {
    AutoPrivilegeManager privilege(kTcbPrivilege);
    if (!privilege.enabled()) {
        return Err{foundation::safeFormat("Unable to get the TCB privilege [{}]", getErrorAsString(privilege.error()))};
    }
    const auto sessionId = getInteractiveSessionId();
    if (!sessionId) {
        return Err{std::string("No interactive session found, can't spawn process")};
    }
    auto wts = loadWts();
    HANDLE raw = nullptr;
    if (!wts || !wts->queryUserToken(*sessionId, &raw)) {
        return Err{foundation::safeFormat("Unable to query user token for session [{}]", lastErrorText())};
    }
    AutoHandle queried(raw);
    HANDLE primary = nullptr;
    if (!DuplicateTokenEx(queried.get(), MAXIMUM_ALLOWED, nullptr, SecurityIdentification, TokenPrimary, &primary)) {
        return Err{foundation::safeFormat("Unable to duplicate interactive session user token [{}]", lastErrorText())};
    }
    return Ok{AutoHandle(primary)};
}

bool isRunningAsSystem() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) {
        return false;
    }
    AutoHandle token(raw);
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size)) {
        return false;
    }
    return IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, WinLocalSystemSid) != FALSE;
}

Result<AutoHandle, std::string> getUserImpersonationToken(uint32_t sessionId) {
    AutoPrivilegeManager privilege(kTcbPrivilege);
    if (!privilege.enabled()) {
        KVX_LOG_ERROR("Unable to get the TCB privilege [{}]", getErrorAsString(privilege.error()));
    }
    auto wts = loadWts();
    HANDLE raw = nullptr;
    if (!wts || !wts->queryUserToken(sessionId, &raw)) {
        const std::string error = lastErrorText();
        const bool system = isRunningAsSystem();
        if (!system) {
            KVX_LOG_ERROR("Failed to query user token probably because process is running under non-SYSTEM account; error=[{}]",
                          error);
        }
        return Err{foundation::safeFormat("query user token{}, error: [{}]", system ? "" : " by non-SYSTEM account", error)};
    }
    AutoHandle token(raw);
    TOKEN_ELEVATION_TYPE elevation = TokenElevationTypeDefault;
    DWORD size = 0;
    if (GetTokenInformation(token.get(), TokenElevationType, &elevation, sizeof(elevation), &size) &&
        elevation == TokenElevationTypeLimited) {
        TOKEN_LINKED_TOKEN linked{};
        if (!GetTokenInformation(token.get(), TokenLinkedToken, &linked, sizeof(linked), &size)) {
            return Err{foundation::safeFormat("get linked token, error: [{}]", lastErrorText())};
        }
        token.reset(linked.LinkedToken);
    }
    HANDLE duplicate = nullptr;
    if (!DuplicateTokenEx(token.get(), kTokenAllAccess, nullptr, SecurityImpersonation, TokenImpersonation, &duplicate)) {
        return Err{foundation::safeFormat("duplicate token, error: [{}]", lastErrorText())};
    }
    return Ok{AutoHandle(duplicate)};
}

Result<uint32_t, std::string> findSessionOfUser(const std::string& userName) {
    if (userName.empty()) {
        return Err{std::string("empty user-name")};
    }
    auto wts = loadWts();
    WTS_SESSION_INFOA* sessions = nullptr;
    DWORD count = 0;
    if (!wts || !wts->enumerateSessions(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
        return Err{foundation::safeFormat("enumerate sessions, error: [{}]", lastErrorText())};
    }
    WtsMemory<WTS_SESSION_INFOA> guard{*wts, sessions};
    for (DWORD i = 0; i < count; ++i) {
        char* name = nullptr;
        DWORD bytes = 0;
        if (!wts->querySessionInformation(WTS_CURRENT_SERVER_HANDLE, sessions[i].SessionId, WTSUserName, &name, &bytes)) {
            return Err{foundation::safeFormat("Failed to query session information, error: [{}]", lastErrorText())};
        }
        WtsMemory<char> nameGuard{*wts, name};
        if (name != nullptr && _stricmp(name, userName.c_str()) == 0) {
            return Ok{static_cast<uint32_t>(sessions[i].SessionId)};
        }
    }
    return Err{std::string("no session for the user")};
}

}  // namespace kvx::WinUtils
