#pragma once
// The case rules that only Windows can apply, beside the portable ASCII ones of PathRules.h and
// named for how they fold. Each keeps the folding its callers have always had: an executable
// name or a path read from the system is matched the way that part of the system matches it.

#include <string>
#include <string_view>

namespace kvx::fs {

// Windows' ordinal comparison ignoring case (CompareStringOrdinal): every letter folds through
// the system's own case table, as the filesystem compares names. CSTR_LESS_THAN, CSTR_EQUAL or
// CSTR_GREATER_THAN; 0 when Windows could not compare (GetLastError says why).
int compareFoldingOrdinalCase(std::wstring_view a, std::wstring_view b);
bool equalsFoldingOrdinalCase(std::wstring_view a, std::wstring_view b);

// The C runtime's folding (towlower, as _wcsicmp applies it): how the executable names of running
// processes are matched against the suite's names.
bool equalsFoldingCrtCase(const wchar_t* a, const wchar_t* b);
std::wstring foldCrtCase(std::wstring text);

}  // namespace kvx::fs
