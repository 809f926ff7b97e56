#pragma once
// The path questions behind protected directories, apart from the system calls that answer them.
// Paths compare by elements, folding ASCII case; "\" and "/" both separate.

#include <string>
#include <string_view>
#include <vector>

namespace kvx::foundation::security {

enum class DirectoryPlace { allowed, insideWindowsFolder, outsidePrefix };

// Where `path` lies: inside the Windows folder is refused first, then anything outside `prefix`.
DirectoryPlace placeOfDirectory(std::wstring_view path, std::wstring_view prefix,
                                std::wstring_view windowsFolder);

// The elements of `path` below `prefix`, in order; `path` must lie inside it.
std::vector<std::wstring> elementsBelow(std::wstring_view prefix, std::wstring_view path);

// True when `resolvedPath` (the final name the system reports for `path`) is not `path`'s part below
// `prefix` put after `resolvedPrefix`: something between the prefix and the path leads elsewhere.
// The prefix itself may resolve elsewhere (a moved ProgramData); it is the trusted root.
bool isRedirectedBelowPrefix(std::wstring_view path, std::wstring_view prefix, std::wstring_view resolvedPath,
                             std::wstring_view resolvedPrefix);

}  // namespace kvx::foundation::security
