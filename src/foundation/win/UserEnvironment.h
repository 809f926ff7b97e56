#pragma once
// A user's own environment, as the text a child process's environment block is made from.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "foundation/Result.h"

namespace kvx::WinUtils {

using EnvironmentEntries = std::vector<std::pair<std::wstring, std::wstring>>;

// "name=value" entries, each ended by a NUL, and a final NUL, in UTF-8; converted to UTF-16 it is
// a Unicode environment block. Built without the caller's own environment. userenv.dll is loaded
// at run time from System32.
Result<std::string, std::string> getUserEnvironment(HANDLE userToken);

// The entries of a Windows environment block; false when an entry has no "=" after its first
// character (names like "=C:" start with one).
bool parseEnvironmentBlock(const wchar_t* block, EnvironmentEntries& entries);
Result<std::string, std::string> serializeEnvironment(const EnvironmentEntries& entries);

}  // namespace kvx::WinUtils
