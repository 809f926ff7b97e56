#pragma once
// Whether this process may open a path with a given access, and clearing the read-only flag.

#include <cstdint>
#include <string>

#include "foundation/Result.h"

namespace kvx::WinUtils {

// Opens `path` with `access` (read and write sharing) and closes it again; false, logged, when the
// path is missing, is not a directory while `directory` is set, or cannot be opened so.
bool hasAccess(const std::wstring& path, uint32_t access, bool directory);

Result<void, std::string> tryRemoveReadOnlyAttribute(const std::wstring& path);

}  // namespace kvx::WinUtils
