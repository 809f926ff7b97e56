#pragma once
// Path forms handed to Win32 and the attribute reads built on them.

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "foundation/Result.h"
#include "foundation/fs/Path.h"
#include "foundation/fs/Win32Handles.h"

namespace kvx::fs::detail {

// Paths this long or longer get the extended-length form so deep trees stay reachable.
inline constexpr size_t kLongPathThreshold = 248;

Result<std::wstring, uint32_t> fullPathName(const std::wstring& path);
// The path as given when short, otherwise its full "\\?\" form.
std::wstring win32Path(const Path& path);
// Always the full "\\?\" form (recursive walks build child paths of any length from it).
std::wstring extendedLengthPath(const Path& path);
// Drops "\\?\" (and turns "\\?\UNC\" back into "\\").
std::wstring stripExtendedPrefix(std::wstring path);

// Runs a path query with the contract of GetFinalPathNameByHandleW (the length written; the size
// needed, terminator included, when the buffer is too small; 0 and the thread's error on failure),
// starting with MAX_PATH characters and growing to what the query asks for. The answer loses "\\?\".
Result<std::wstring, uint32_t> growingPathQuery(
    const std::function<DWORD(wchar_t* buffer, DWORD size)>& query);

// Opened for attribute reading with backup semantics (folders open too).
FileHandle openForAttributes(const Path& path, bool followLinks);

std::filesystem::file_status statusFromAttributes(DWORD attributes, bool isLink);
bool isLinkTag(DWORD reparseTag);

}  // namespace kvx::fs::detail
