#pragma once
// Tokens and users of other processes.

#include <windows.h>

#include <cstdint>
#include <string>

#include "foundation/Result.h"
#include "foundation/win/AutoHandle.h"

namespace kvx::WinUtils {

// A duplicate of the process's token, taken only when the process runs the expected image.
Result<AutoHandle, std::string> getProcessImpersonationToken(uint32_t pid, const std::wstring& expectedPath);

// The text form ("S-1-5-...") of the SID of the process's user; null means this process.
Result<std::string, std::string> getProcessUserSid(HANDLE process);

}  // namespace kvx::WinUtils
