#include "foundation/fs/PathRulesWin.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>

namespace kvx::fs {

int compareFoldingOrdinalCase(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE);
}

bool equalsFoldingOrdinalCase(std::wstring_view a, std::wstring_view b) {
    return compareFoldingOrdinalCase(a, b) == CSTR_EQUAL;
}

bool equalsFoldingCrtCase(const wchar_t* a, const wchar_t* b) {
    return _wcsicmp(a, b) == 0;
}

std::wstring foldCrtCase(std::wstring text) {
    for (auto& c : text) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return text;
}

}  // namespace kvx::fs
