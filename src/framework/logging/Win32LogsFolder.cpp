#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <fmt/format.h>

#include "foundation/TextConversion.h"
#include "framework/logging/LogFormat.h"
#include "framework/logging/Win32LogStorage.h"

namespace kvx::services::logging {
namespace {

class TokenHandle {
public:
    TokenHandle() { OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &mHandle); }
    ~TokenHandle() {
        if (mHandle != nullptr) {
            CloseHandle(mHandle);
        }
    }
    TokenHandle(const TokenHandle&) = delete;
    TokenHandle& operator=(const TokenHandle&) = delete;
    HANDLE get() const { return mHandle; }

private:
    HANDLE mHandle = nullptr;
};

bool isElevated(HANDLE token) {
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) &&
           elevation.TokenIsElevated != 0;
}

bool isLocalSystem(HANDLE token) {
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size)) {
        return false;
    }
    return IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, WinLocalSystemSid) != FALSE;
}

Result<std::string, std::string> knownFolder(REFKNOWNFOLDERID id, const char* what) {
    PWSTR path = nullptr;
    const HRESULT result = SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path);
    std::string utf8 = SUCCEEDED(result) ? foundation::narrow(path, KVX_SOURCE_LOCATION) : std::string();
    CoTaskMemFree(path);
    if (FAILED(result)) {
        return Err{fmt::format("Could not find the {} folder hr[{:08x}]", what, static_cast<uint32_t>(result))};
    }
    return Ok{std::move(utf8)};
}

}  // namespace

bool isElevatedOrSystem() {
    TokenHandle token;
    return token.get() != nullptr && (isLocalSystem(token.get()) || isElevated(token.get()));
}

Result<std::string, std::string> defaultLogsFolder() {
    const bool elevated = isElevatedOrSystem();
    auto folder = elevated ? knownFolder(FOLDERID_ProgramData, "program data")
                           : knownFolder(FOLDERID_LocalAppData, "local application data");
    if (folder.isError()) {
        return folder;
    }
    const std::string base = folder.unwrap();
    return Ok{logsFolder(elevated, base, base)};
}

}  // namespace kvx::services::logging
