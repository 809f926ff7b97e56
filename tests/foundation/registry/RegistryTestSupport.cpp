#include "foundation/registry/RegistryTestSupport.h"

#include <fmt/format.h>

namespace kvx::test {

LSTATUS ScriptedRegistryProxy::RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM sam,
                                             PHKEY result) {
    masks.push_back(sam);
    return openKey ? openKey(key, subKey, options, sam, result)
                   : real().RegOpenKeyExW(key, subKey, options, sam, result);
}

LSTATUS ScriptedRegistryProxy::RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type,
                                                LPBYTE data, LPDWORD size) {
    return queryValue ? queryValue(key, name, reserved, type, data, size)
                      : real().RegQueryValueExW(key, name, reserved, type, data, size);
}

LSTATUS ScriptedRegistryProxy::RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR value, DWORD flags,
                                            LPDWORD type, PVOID data, LPDWORD size) {
    return getValue ? getValue(key, subKey, value, flags, type, data, size)
                    : real().RegGetValueW(key, subKey, value, flags, type, data, size);
}

LSTATUS ScriptedRegistryProxy::RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                                               DWORD options, REGSAM sam,
                                               const LPSECURITY_ATTRIBUTES attributes, PHKEY result,
                                               LPDWORD disposition) {
    masks.push_back(sam);
    return createKey ? createKey(key, subKey, sam)
                     : real().RegCreateKeyExW(key, subKey, reserved, keyClass, options, sam, attributes,
                                              result, disposition);
}

LSTATUS ScriptedRegistryProxy::RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type,
                                              const BYTE* data, DWORD size) {
    if (const LSTATUS refused = refuseValue ? refuseValue(name) : ERROR_SUCCESS; refused != ERROR_SUCCESS) {
        return refused;
    }
    return real().RegSetValueExW(key, name, reserved, type, data, size);
}

ScopedTestKey::ScopedTestKey(const std::string& name, HKEY root)
    : mRoot(root),
      mPath(fmt::format("Software\\KvxTest-{}-{}-{}", name, GetCurrentProcessId(), GetTickCount64())) {}

ScopedTestKey::~ScopedTestKey() {
    const std::string leaf = mPath.substr(std::string("Software\\").size());
    for (const bool view64 : {true, false}) {
        foundation::RegistryKey software(mRoot, "Software", view64, true);
        software.deleteTree(leaf);
        software.deleteSubKey(leaf, view64);
    }
}

foundation::RegistryKey ScopedTestKey::open(bool view64, bool create) const {
    return foundation::RegistryKey(mRoot, mPath, view64, create);
}

}  // namespace kvx::test
