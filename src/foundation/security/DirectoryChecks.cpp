#include "foundation/security/DirectoryChecks.h"

#include <string>

#include "foundation/fs/PathRules.h"

namespace kvx::foundation::security {

namespace {

bool isPathSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// The part of `path` after the elements of `folder` ("" when they are the same); `path` must lie inside.
std::wstring_view partBelow(std::wstring_view folder, std::wstring_view path) {
    while (!folder.empty() && isPathSeparator(folder.back())) {
        folder.remove_suffix(1);
    }
    size_t pos = folder.size();
    while (pos < path.size() && isPathSeparator(path[pos])) {
        ++pos;
    }
    return path.substr(pos < path.size() ? pos : path.size());
}

}  // namespace

std::vector<std::wstring> elementsBelow(std::wstring_view prefix, std::wstring_view path) {
    std::vector<std::wstring> elements;
    std::wstring_view rest = partBelow(prefix, path);
    while (!rest.empty()) {
        size_t end = 0;
        while (end < rest.size() && !isPathSeparator(rest[end])) {
            ++end;
        }
        if (const std::wstring_view element = rest.substr(0, end); !element.empty() && element != L".") {
            elements.emplace_back(element);
        }
        rest.remove_prefix(end < rest.size() ? end + 1 : end);
    }
    return elements;
}

DirectoryPlace placeOfDirectory(std::wstring_view path, std::wstring_view prefix,
                                std::wstring_view windowsFolder) {
    if (!windowsFolder.empty() && fs::isSameOrInsideFolder(windowsFolder, path)) {
        return DirectoryPlace::insideWindowsFolder;
    }
    if (prefix.empty() || !fs::isSameOrInsideFolder(prefix, path)) {
        return DirectoryPlace::outsidePrefix;
    }
    return DirectoryPlace::allowed;
}

bool isRedirectedBelowPrefix(std::wstring_view path, std::wstring_view prefix, std::wstring_view resolvedPath,
                             std::wstring_view resolvedPrefix) {
    if (resolvedPath.empty() || !fs::isSameOrInsideFolder(prefix, path)) {
        return true;
    }
    std::wstring expected(resolvedPrefix);
    const std::wstring_view rest = partBelow(prefix, path);
    if (!rest.empty()) {
        if (!expected.empty() && !isPathSeparator(expected.back())) {
            expected += L'\\';
        }
        expected += rest;
    }
    return !fs::isSamePath(resolvedPath, expected);
}

}  // namespace kvx::foundation::security
