#pragma once
// The one way the program touches the registry: an owned key handle in a chosen 32- or 64-bit
// view, with typed reads and writes taking UTF-8 names and values. Every Windows registry call
// goes through the replaceable proxy below so that tests can inject failures.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Result.h"
#include "foundation/win/UniqueHandle.h"

namespace kvx::foundation {

// One operation per Windows registry function, same arguments, returning its status code.
class IWindowsRegistryProxy {
public:
    virtual ~IWindowsRegistryProxy() = default;
    virtual LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM samDesired, PHKEY result) = 0;
    virtual LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                     LPDWORD dataSize) = 0;
    virtual LSTATUS RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR value, DWORD flags, LPDWORD type, PVOID data,
                                 LPDWORD dataSize) = 0;
    virtual LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                                    REGSAM samDesired, const LPSECURITY_ATTRIBUTES securityAttributes, PHKEY result,
                                    LPDWORD disposition) = 0;
    virtual LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                                   DWORD dataSize) = 0;
    virtual LSTATUS RegCloseKey(HKEY key) = 0;
    virtual LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey) = 0;
    virtual LSTATUS RegDeleteKeyExW(HKEY key, LPCWSTR subKey, REGSAM samDesired, DWORD reserved) = 0;
    virtual LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) = 0;
};

// Forwards every call to Windows.
class WindowsRegistryProxy final : public IWindowsRegistryProxy {
public:
    LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM samDesired, PHKEY result) override;
    LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                             LPDWORD dataSize) override;
    LSTATUS RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR value, DWORD flags, LPDWORD type, PVOID data,
                         LPDWORD dataSize) override;
    LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                            REGSAM samDesired, const LPSECURITY_ATTRIBUTES securityAttributes, PHKEY result,
                            LPDWORD disposition) override;
    LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                           DWORD dataSize) override;
    LSTATUS RegCloseKey(HKEY key) override;
    LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey) override;
    LSTATUS RegDeleteKeyExW(HKEY key, LPCWSTR subKey, REGSAM samDesired, DWORD reserved) override;
    LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) override;

    // The process-wide instance, created on first use.
    static WindowsRegistryProxy& instance();
};

// The proxy every RegistryKey calls through (the Windows one unless a test replaced it).
IWindowsRegistryProxy& registryProxy();
// Installs `proxy` (nullptr restores the Windows one) and returns the previous one.
IWindowsRegistryProxy* replaceRegistryProxy(IWindowsRegistryProxy* proxy);

// Access masks: KEY_READ plus the view flag to open, that plus KEY_WRITE to create.
inline constexpr REGSAM kReadMask64 = KEY_READ | KEY_WOW64_64KEY;   // 0x20119
inline constexpr REGSAM kReadMask32 = KEY_READ | KEY_WOW64_32KEY;   // 0x20219
inline REGSAM viewFlag(bool view64) { return view64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }
inline REGSAM openMask(bool view64) { return KEY_READ | viewFlag(view64); }
inline REGSAM createMask(bool view64) { return openMask(view64) | KEY_WRITE; }

// Keys are closed through the proxy so that tests see every close; an empty key holds all ones.
struct RegistryKeyTraits {
    using Type = HKEY;
    static Type invalid() { return reinterpret_cast<HKEY>(~uintptr_t{0}); }
    static bool isValid(Type key) { return key != invalid(); }
    static void close(Type key) { registryProxy().RegCloseKey(key); }
};

class RegistryKey {
public:
    // A key that refers to nothing.
    RegistryKey() noexcept = default;
    // A null root gives an invalid key; an empty path refers to the root itself (no call);
    // otherwise the path is created (`create`) or opened. Failure leaves the status in `status()`.
    RegistryKey(HKEY root, std::string_view subKey, bool view64, bool create);
    ~RegistryKey();

    RegistryKey(RegistryKey&& other) noexcept;
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, opened read-only, view64 true.
    static RegistryKey currentUser();
    static RegistryKey localMachine();
    static RegistryKey users();

    // A key below this one; empty paths give an invalid key.
    RegistryKey createSubKey(std::string_view subKey, bool view64) const;
    RegistryKey openSubKey(std::string_view subKey, bool view64, bool create) const;

    bool isValid() const { return mHandle.valid(); }
    HKEY handle() const { return mHandle.get(); }
    // Status of the open or create that produced the key (0 on success).
    LSTATUS status() const { return mStatus; }
    bool view64() const { return mView64; }
    // Closes the handle once; the key is invalid afterwards.
    void close();

    // Reads. T is uint32_t (0 when missing or larger than 4 bytes), std::wstring or std::string
    // (UTF-8; both "" when missing, not REG_SZ/REG_EXPAND_SZ, or longer than 4095 characters).
    template <typename T>
    T get(std::string_view valueName) const;
    // REG_MULTI_SZ as UTF-8 strings; empty entries inside the value are kept.
    Result<std::vector<std::string>, std::string> getMultiString(std::string_view valueName) const;
    bool valueExists(std::string_view valueName) const;
    bool subkeyExists(std::string_view subKey, bool view64) const;
    // Calls `callback` with each subkey name until it returns false; names that do not fit a
    // 260-character buffer are skipped.
    void enumSubKeys(const std::function<bool(const std::string& name)>& callback) const;

    // Writes: true when Windows accepted them; an invalid key returns false without a call.
    // Strings are REG_SZ with their terminating NUL; numbers and bools are REG_DWORD (bool 0/1).
    bool set(std::string_view valueName, std::string_view utf8Value);
    bool set(std::string_view valueName, std::wstring_view value);
    bool set(std::string_view valueName, const char* utf8Value);
    bool set(std::string_view valueName, const wchar_t* value) { return set(valueName, std::wstring_view(value)); }
    bool set(std::string_view valueName, uint32_t value);
    bool set(std::string_view valueName, int value) { return set(valueName, static_cast<uint32_t>(value)); }
    bool set(std::string_view valueName, bool value);

    // Deletions: a value of this key; a leaf subkey in the given view; a subkey and everything below it.
    bool deleteValue(std::string_view valueName);
    bool deleteSubKey(std::string_view subKey, bool view64);
    bool deleteTree(std::string_view subKey);

    // The empty name addresses the default value; these are the wide forms used at the boundary.
    static std::wstring wideName(std::string_view utf8Name);

private:
    static RegistryKey openPredefined(HKEY predefined);
    bool setRaw(std::string_view valueName, DWORD type, const BYTE* data, DWORD size);

    WinUtils::UniqueHandle<RegistryKeyTraits> mHandle;
    LSTATUS mStatus = 0;
    bool mView64 = true;
};

template <>
uint32_t RegistryKey::get<uint32_t>(std::string_view valueName) const;
template <>
std::wstring RegistryKey::get<std::wstring>(std::string_view valueName) const;
template <>
std::string RegistryKey::get<std::string>(std::string_view valueName) const;

// Splits a REG_MULTI_SZ buffer (NUL-terminated strings ending in an extra NUL) into UTF-8 strings.
std::vector<std::string> splitMultiStringBuffer(const std::vector<wchar_t>& buffer);

}  // namespace kvx::foundation
