#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <fmt/format.h>

#include "foundation/TextConversion.h"
#include "foundation/win/AutoHandle.h"
#include "foundation/win/SystemMemory.h"
#include "framework/logging/LogFormat.h"
#include "framework/logging/Win32LogStorage.h"

namespace kvx::services::logging {
namespace {

WinUtils::AutoHandle openOwnToken() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    return WinUtils::AutoHandle(token);
}

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
    const WinUtils::UniqueCoTaskMemory<PWSTR> owned(path);
    std::string utf8 = SUCCEEDED(result) ? foundation::narrow(path, KVX_SOURCE_LOCATION) : std::string();
    if (FAILED(result)) {
        return Err{fmt::format("Could not find the {} folder hr[{:08x}]", what, static_cast<uint32_t>(result))};
    }
    return Ok{std::move(utf8)};
}

}  // namespace

bool isElevatedOrSystem() {
    const WinUtils::AutoHandle token = openOwnToken();
    return token.valid() && (isLocalSystem(token.get()) || isElevated(token.get()));
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
