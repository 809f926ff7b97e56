#pragma once
// The subkey enumeration loop, separate from the Windows call so that its stop and skip rules can
// be driven by a scripted enumerator.

#include <windows.h>

#include <array>
#include <functional>
#include <string>

namespace kvx::foundation::registry_detail {

inline constexpr DWORD kEnumNameChars = 260;

// Fills `name` (capacity in *length, characters written on return) for `index`; returns the status.
using EnumerateAt = std::function<LSTATUS(DWORD index, wchar_t* name, DWORD* length)>;

// Index 0, 1, ...: stops at ERROR_NO_MORE_ITEMS, ERROR_INVALID_HANDLE or a false callback; other errors skip.
void enumerateNames(const EnumerateAt& enumerateAt, const std::function<bool(const std::string&)>& callback);

}  // namespace kvx::foundation::registry_detail
