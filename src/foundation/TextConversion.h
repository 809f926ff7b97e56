#pragma once
// UTF-8 inside the program, UTF-16 at the Windows boundary.

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/Result.h"

namespace kvx::foundation {

// Length argument meaning "NUL-terminated, measure it".
inline constexpr uint32_t kMeasureLength = 0xFFFFFFFFu;
// Longer inputs are refused.
inline constexpr uint32_t kMaxConversionLength = 1u << 30;
inline constexpr uint32_t kCodePageUtf8 = 65001;

struct SourceLocation {
    const char* file;
    const char* function;
    int line;
};
#define KVX_SOURCE_LOCATION (::kvx::foundation::SourceLocation{__FILE__, __func__, __LINE__})

// Strict unless `lenient`: invalid input is an error instead of U+FFFD.
Result<std::wstring, std::string> multiByteToWide(const char* text, uint32_t length, uint32_t codePage, bool lenient);
// Lenient unless `strict`: lone surrogates become U+FFFD instead of an error.
Result<std::string, std::string> wideToUtf8(const wchar_t* text, uint32_t length, bool strict);

// Convenience forms: an error is reported as an assertion naming `where`, and the result is empty.
std::wstring toWideChar(std::string_view utf8, bool lenient, SourceLocation where);
std::wstring toWideChar(const char* utf8, bool lenient, SourceLocation where);
std::string wideCharToUtf8(std::wstring_view wide, bool strict, SourceLocation where);
std::string wideCharToUtf8(const wchar_t* wide, bool strict, SourceLocation where);

bool isValidUtf8(const char* text, uint32_t length);

// The everyday forms: strict to Windows, lenient back.
inline std::wstring widen(std::string_view utf8, SourceLocation where) { return toWideChar(utf8, false, where); }
inline std::string narrow(std::wstring_view wide, SourceLocation where) { return wideCharToUtf8(wide, false, where); }

}  // namespace kvx::foundation
