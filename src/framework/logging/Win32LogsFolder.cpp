#include <windows.h>

#include <fmt/format.h>

#include "foundation/paths/TamrinUtils.h"
#include "foundation/win/AutoHandle.h"
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

}  // namespace

bool isElevatedOrSystem() {
    const WinUtils::AutoHandle token = openOwnToken();
    return token.valid() && (isLocalSystem(token.get()) || isElevated(token.get()));
}

Result<std::string, std::string> defaultLogsFolder() {
    const bool elevated = isElevatedOrSystem();
    // Through the special-path service, so that a "qa.specialDirectory.*" redirection moves the logs too.
    auto folder = foundation::tamrinUtils().getSpecialPathImpl(
        elevated ? foundation::SpecialDirectory::programData : foundation::SpecialDirectory::localAppData, "",
        "", false, nullptr);
    if (folder.isError()) {
        return Err{fmt::format("Could not find the {} folder hr[{:08x}]",
                               elevated ? "program data" : "local application data",
                               static_cast<uint32_t>(folder.peekError()))};
    }
    const std::string base = folder.unwrap();
    return Ok{logsFolder(elevated, base, base)};
}

}  // namespace kvx::services::logging
