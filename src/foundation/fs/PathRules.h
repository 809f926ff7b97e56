#pragma once
// Every "same name" and "inside that folder" question the program asks of paths, in one place.
// Case folds only ASCII letters: the paths compared are spelled by the program or read back from
// the system, so other letters already agree in case; folding them would need a locale. The rules
// that fold as Windows or its C runtime does are in PathRulesWin.h.

#include <string_view>

namespace kvx::fs {

char foldAsciiCase(char c);
wchar_t foldAsciiCase(wchar_t c);

bool equalsFoldingAsciiCase(std::string_view a, std::string_view b);
// Text prefix, not path elements: "C:\Korv" is a prefix of "C:\KorvX\a.exe".
bool startsWithFoldingAsciiCase(std::string_view text, std::string_view prefix);

// By path elements: "C:\Korv" holds "c:/korv/a.exe" and "C:\Korv\" itself, never "C:\KorvX".
// "\" and "/" both separate; a trailing separator on the folder is ignored.
bool isSameOrInsideFolder(std::wstring_view folder, std::wstring_view path);
// The same elements in the same order.
bool isSamePath(std::wstring_view a, std::wstring_view b);
// Either path is the other or lies inside it.
bool pathsOverlap(std::wstring_view a, std::wstring_view b);

}  // namespace kvx::fs
