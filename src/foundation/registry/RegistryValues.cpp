// Typed reads and writes of registry values.
#include <array>

#include "foundation/Assert.h"
#include "foundation/TextConversion.h"
#include "foundation/registry/RegistryKey.h"

namespace kvx::foundation {

namespace {
// The string buffer is 8192 bytes; the read is limited to 8190 so that a NUL always follows.
constexpr size_t kStringBufferChars = 4096;
constexpr DWORD kStringReadBytes = 8190;
constexpr DWORD kMaxDwordBytes = sizeof(uint32_t);
}  // namespace

template <>
uint32_t RegistryKey::get<uint32_t>(std::string_view valueName) const {
    if (!isValid()) {
        return 0;
    }
    const std::wstring name = wideName(valueName);
    DWORD size = 0;
    LSTATUS status = registryProxy().RegQueryValueExW(handle(), name.c_str(), nullptr, nullptr, nullptr, &size);
    if (status != ERROR_SUCCESS || size > kMaxDwordBytes) {
        return 0;
    }
    uint32_t value = 0;
    size = sizeof(value);
    status = registryProxy().RegQueryValueExW(handle(), name.c_str(), nullptr, nullptr,
                                              reinterpret_cast<LPBYTE>(&value), &size);
    KVX_ASSERT(AssertLevel::Error, status == 0L, "Failed to read value [{}], status[{}]", valueName, status);
    return status == ERROR_SUCCESS ? value : 0;
}

template <>
std::wstring RegistryKey::get<std::wstring>(std::string_view valueName) const {
    if (!isValid()) {
        return {};
    }
    std::array<wchar_t, kStringBufferChars> buffer{};
    DWORD size = kStringReadBytes;
    DWORD regType = REG_NONE;
    const LSTATUS status = registryProxy().RegQueryValueExW(handle(), wideName(valueName).c_str(), nullptr, &regType,
                                                            reinterpret_cast<LPBYTE>(buffer.data()), &size);
    if (status != ERROR_SUCCESS) {
        return {};
    }
    const bool isString = regType == REG_SZ || regType == REG_EXPAND_SZ;
    KVX_ASSERT(AssertLevel::Error, isString,
               "Can only return strings if regType is REG_SZ or REG_EXPAND_SZ. regType=[{}]", regType);
    return isString ? std::wstring(buffer.data()) : std::wstring{};
}

template <>
std::string RegistryKey::get<std::string>(std::string_view valueName) const {
    return wideCharToUtf8(get<std::wstring>(valueName), false, SourceLocation{__FILE__, "RegistryKey", __LINE__});
}

bool RegistryKey::valueExists(std::string_view valueName) const {
    return isValid() && registryProxy().RegQueryValueExW(handle(), wideName(valueName).c_str(), nullptr, nullptr,
                                                         nullptr, nullptr) == ERROR_SUCCESS;
}

bool RegistryKey::setRaw(std::string_view valueName, DWORD type, const BYTE* data, DWORD size) {
    return isValid() &&
           registryProxy().RegSetValueExW(handle(), wideName(valueName).c_str(), 0, type, data, size) == ERROR_SUCCESS;
}

bool RegistryKey::set(std::string_view valueName, std::wstring_view value) {
    // The terminating NUL is part of the stored data.
    const std::wstring text(value);
    return setRaw(valueName, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool RegistryKey::set(std::string_view valueName, std::string_view utf8Value) {
    if (!isValid()) {
        return false;
    }
    return set(valueName, std::wstring_view(wideName(utf8Value)));
}

bool RegistryKey::set(std::string_view valueName, const char* utf8Value) {
    return set(valueName, std::string_view(utf8Value != nullptr ? utf8Value : ""));
}

bool RegistryKey::set(std::string_view valueName, uint32_t value) {
    const DWORD data = value;
    return setRaw(valueName, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
}

bool RegistryKey::set(std::string_view valueName, bool value) { return set(valueName, uint32_t{value ? 1u : 0u}); }

}  // namespace kvx::foundation
