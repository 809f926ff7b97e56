#include "foundation/fs/PathRules.h"

#include <algorithm>

namespace kvx::fs {
namespace {

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// The next element from `pos` (up to a separator), advancing `pos` past that separator.
std::wstring_view nextElement(std::wstring_view path, size_t& pos) {
    const size_t start = pos;
    while (pos < path.size() && !isSeparator(path[pos])) {
        ++pos;
    }
    const std::wstring_view element = path.substr(start, pos - start);
    if (pos < path.size()) {
        ++pos;
    }
    return element;
}

template <typename Char>
bool sameFoldingAsciiCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](Char x, Char y) { return foldAsciiCase(x) == foldAsciiCase(y); });
}

}  // namespace

char foldAsciiCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

wchar_t foldAsciiCase(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool equalsFoldingAsciiCase(std::string_view a, std::string_view b) {
    return sameFoldingAsciiCase(a, b);
}

bool startsWithFoldingAsciiCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && sameFoldingAsciiCase(text.substr(0, prefix.size()), prefix);
}

bool isSameOrInsideFolder(std::wstring_view folder, std::wstring_view path) {
    size_t folderPos = 0;
    size_t pathPos = 0;
    while (folderPos < folder.size()) {
        const std::wstring_view folderElement = nextElement(folder, folderPos);
        if (folderElement.empty() && folderPos >= folder.size()) {
            break;  // a trailing separator ends the folder
        }
        if (pathPos > path.size() || !sameFoldingAsciiCase(folderElement, nextElement(path, pathPos))) {
            return false;
        }
    }
    return true;
}

bool isSamePath(std::wstring_view a, std::wstring_view b) {
    return isSameOrInsideFolder(a, b) && isSameOrInsideFolder(b, a);
}

bool pathsOverlap(std::wstring_view a, std::wstring_view b) {
    return isSameOrInsideFolder(a, b) || isSameOrInsideFolder(b, a);
}

}  // namespace kvx::fs
