#include "foundation/TextConversion.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

namespace kvx::foundation {
namespace {

uint32_t clampedLength(size_t size) {
    return size > kMaxConversionLength ? kMaxConversionLength + 1 : static_cast<uint32_t>(size);
}

void reportConversionError(const std::string& error, SourceLocation where) {
    assertFailed(AssertLevel::Error, kUnconditionalAssert, where.function,
                 fmt::format("{} in {}", error, fmt::format("{}:{}:{}", where.file, where.function, where.line)),
                 where.line);
}

}  // namespace

Result<std::wstring, std::string> multiByteToWide(const char* text, uint32_t length, uint32_t codePage, bool lenient) {
    if (text == nullptr || length == 0 || text[0] == '\0') {
        return Ok{std::wstring()};
    }
    if (length == kMeasureLength) {
        length = clampedLength(std::strlen(text));
    }
    if (length > kMaxConversionLength) {
        return Err{fmt::format("Conversion failed, string too large, size=[{}]", length)};
    }
    const DWORD flags = lenient ? 0 : MB_ERR_INVALID_CHARS;
    const int needed = MultiByteToWideChar(codePage, flags, text, static_cast<int>(length), nullptr, 0);
    std::wstring out;
    int written = 0;
    if (needed > 0) {
        out.resize(static_cast<size_t>(needed));
        written = MultiByteToWideChar(codePage, flags, text, static_cast<int>(length), out.data(), needed);
    }
    if (written == 0) {
        return Err{fmt::format("Conversion failed. codePage=[{}] errorCode=[{}]", codePage, GetLastError())};
    }
    out.resize(static_cast<size_t>(written));
    return Ok{std::move(out)};
}

Result<std::string, std::string> wideToUtf8(const wchar_t* text, uint32_t length, bool strict) {
    if (length == kMeasureLength && text != nullptr) {
        length = clampedLength(std::wcslen(text));
    }
    if (text == nullptr || length == 0) {
        return Ok{std::string()};
    }
    if (length > kMaxConversionLength) {
        return Err{fmt::format("Conversion failed, attempted large or unbound string size=[{}]", length)};
    }
    const DWORD flags = strict ? WC_ERR_INVALID_CHARS : 0;
    const int needed =
        WideCharToMultiByte(CP_UTF8, flags, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out;
    int written = 0;
    if (needed > 0) {
        out.resize(static_cast<size_t>(needed));
        written = WideCharToMultiByte(CP_UTF8, flags, text, static_cast<int>(length), out.data(), needed, nullptr,
                                      nullptr);
    }
    if (written == 0) {
        return Err{fmt::format("Conversion failed. errorCode=[{}]", GetLastError())};
    }
    out.resize(static_cast<size_t>(written));
    return Ok{std::move(out)};
}

std::wstring toWideChar(std::string_view utf8, bool lenient, SourceLocation where) {
    auto result = multiByteToWide(utf8.data(), clampedLength(utf8.size()), kCodePageUtf8, lenient);
    if (result.isError()) {
        reportConversionError(result.peekError(), where);
        return {};
    }
    return result.unwrap();
}

std::wstring toWideChar(const char* utf8, bool lenient, SourceLocation where) {
    return toWideChar(utf8 == nullptr ? std::string_view() : std::string_view(utf8), lenient, where);
}

std::string wideCharToUtf8(std::wstring_view wide, bool strict, SourceLocation where) {
    auto result = wideToUtf8(wide.data(), clampedLength(wide.size()), strict);
    if (result.isError()) {
        reportConversionError(result.peekError(), where);
        return {};
    }
    return result.unwrap();
}

std::string wideCharToUtf8(const wchar_t* wide, bool strict, SourceLocation where) {
    return wideCharToUtf8(wide == nullptr ? std::wstring_view() : std::wstring_view(wide), strict, where);
}

bool isValidUtf8(const char* text, uint32_t length) {
    if (text == nullptr) {
        return false;
    }
    if (length == 0) {
        return true;
    }
    if (length == kMeasureLength) {
        length = clampedLength(std::strlen(text));
    }
    if (length > kMaxConversionLength) {
        return false;
    }
    const int count =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(length), nullptr, 0);
    KVX_ASSERT(AssertLevel::Error, (0 < count) || (GetLastError() == 1113L), "unexpected error");
    return count != 0;
}

}  // namespace kvx::foundation
