#pragma once
// A unique test key per test (removed in both views afterwards) and a proxy that forwards to
// Windows except for the operations a test scripts.

#include <functional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "foundation/registry/RegistryKey.h"

namespace kvx::test {

class ScriptedRegistryProxy final : public foundation::IWindowsRegistryProxy {
public:
    std::function<LSTATUS(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY)> openKey;
    std::function<LSTATUS(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD)> queryValue;
    std::function<LSTATUS(HKEY, LPCWSTR, LPCWSTR, DWORD, LPDWORD, PVOID, LPDWORD)> getValue;
    std::function<LSTATUS(HKEY, LPCWSTR, REGSAM)> createKey;
    // The answer to a write of the named value instead of writing it; ERROR_SUCCESS writes it.
    std::function<LSTATUS(LPCWSTR)> refuseValue;
    std::vector<REGSAM> masks;  // of every open and create, in order

    LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM sam, PHKEY result) override {
        masks.push_back(sam);
        return openKey ? openKey(key, subKey, options, sam, result)
                       : real().RegOpenKeyExW(key, subKey, options, sam, result);
    }
    LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                             LPDWORD size) override {
        return queryValue ? queryValue(key, name, reserved, type, data, size)
                          : real().RegQueryValueExW(key, name, reserved, type, data, size);
    }
    LSTATUS RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR value, DWORD flags, LPDWORD type, PVOID data,
                         LPDWORD size) override {
        return getValue ? getValue(key, subKey, value, flags, type, data, size)
                        : real().RegGetValueW(key, subKey, value, flags, type, data, size);
    }
    LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                            REGSAM sam, const LPSECURITY_ATTRIBUTES attributes, PHKEY result,
                            LPDWORD disposition) override {
        masks.push_back(sam);
        return createKey ? createKey(key, subKey, sam)
                         : real().RegCreateKeyExW(key, subKey, reserved, keyClass, options, sam, attributes,
                                                  result, disposition);
    }
    LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                           DWORD size) override {
        const LSTATUS refused = refuseValue ? refuseValue(name) : ERROR_SUCCESS;
        return refused != ERROR_SUCCESS ? refused
                                        : real().RegSetValueExW(key, name, reserved, type, data, size);
    }
    LSTATUS RegCloseKey(HKEY key) override { return real().RegCloseKey(key); }
    LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey) override { return real().RegDeleteTreeW(key, subKey); }
    LSTATUS RegDeleteKeyExW(HKEY key, LPCWSTR subKey, REGSAM sam, DWORD reserved) override {
        return real().RegDeleteKeyExW(key, subKey, sam, reserved);
    }
    LSTATUS RegDeleteValueW(HKEY key, LPCWSTR name) override { return real().RegDeleteValueW(key, name); }

private:
    foundation::IWindowsRegistryProxy& real() { return foundation::WindowsRegistryProxy::instance(); }
};

// Installs a proxy for the lifetime of the object.
class ScopedRegistryProxy {
public:
    explicit ScopedRegistryProxy(foundation::IWindowsRegistryProxy& proxy)
        : mPrevious(foundation::replaceRegistryProxy(&proxy)) {}
    ~ScopedRegistryProxy() { foundation::replaceRegistryProxy(mPrevious); }

private:
    foundation::IWindowsRegistryProxy* mPrevious;
};

// "Software\KvxTest-<name>-<pid>-<tick>" under HKCU (or `root`), deleted from both views on destruction.
class ScopedTestKey {
public:
    explicit ScopedTestKey(const std::string& name, HKEY root = HKEY_CURRENT_USER)
        : mRoot(root),
          mLeaf(fmt::format("KvxTest-{}-{}-{}", name, GetCurrentProcessId(), GetTickCount64())) {}
    ~ScopedTestKey() {
        for (const bool view64 : {true, false}) {
            foundation::RegistryKey software(mRoot, "Software", view64, true);
            software.deleteTree(mLeaf);
            software.deleteSubKey(mLeaf, view64);
        }
    }
    foundation::RegistryKey open(bool view64, bool create = true) const {
        return foundation::RegistryKey(mRoot, "Software\\" + mLeaf, view64, create);
    }

private:
    HKEY mRoot;
    std::string mLeaf;
};

}  // namespace kvx::test
