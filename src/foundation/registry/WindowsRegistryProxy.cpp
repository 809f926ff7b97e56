// The Windows registry, one call per proxy slot; tests replace the process-wide pointer.
#include "foundation/registry/RegistryKey.h"

#include <atomic>

namespace kvx::foundation {

LSTATUS WindowsRegistryProxy::RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM samDesired, PHKEY result) {
    return ::RegOpenKeyExW(key, subKey, options, samDesired, result);
}

LSTATUS WindowsRegistryProxy::RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                                               LPBYTE data, LPDWORD dataSize) {
    return ::RegQueryValueExW(key, valueName, reserved, type, data, dataSize);
}

LSTATUS WindowsRegistryProxy::RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR value, DWORD flags, LPDWORD type,
                                           PVOID data, LPDWORD dataSize) {
    return ::RegGetValueW(key, subKey, value, flags, type, data, dataSize);
}

LSTATUS WindowsRegistryProxy::RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                                              DWORD options, REGSAM samDesired,
                                              const LPSECURITY_ATTRIBUTES securityAttributes, PHKEY result,
                                              LPDWORD disposition) {
    return ::RegCreateKeyExW(key, subKey, reserved, keyClass, options, samDesired, securityAttributes, result,
                             disposition);
}

LSTATUS WindowsRegistryProxy::RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                                             const BYTE* data, DWORD dataSize) {
    return ::RegSetValueExW(key, valueName, reserved, type, data, dataSize);
}

LSTATUS WindowsRegistryProxy::RegCloseKey(HKEY key) { return ::RegCloseKey(key); }

LSTATUS WindowsRegistryProxy::RegDeleteTreeW(HKEY key, LPCWSTR subKey) { return ::RegDeleteTreeW(key, subKey); }

LSTATUS WindowsRegistryProxy::RegDeleteKeyExW(HKEY key, LPCWSTR subKey, REGSAM samDesired, DWORD reserved) {
    return ::RegDeleteKeyExW(key, subKey, samDesired, reserved);
}

LSTATUS WindowsRegistryProxy::RegDeleteValueW(HKEY key, LPCWSTR valueName) {
    return ::RegDeleteValueW(key, valueName);
}

WindowsRegistryProxy& WindowsRegistryProxy::instance() {
    static WindowsRegistryProxy proxy;
    return proxy;
}

namespace {
std::atomic<IWindowsRegistryProxy*> gRegistryProxy{&WindowsRegistryProxy::instance()};
}  // namespace

IWindowsRegistryProxy& registryProxy() {
    // Another translation unit's static initialiser may get here before the pointer is set.
    IWindowsRegistryProxy* proxy = gRegistryProxy.load();
    return proxy != nullptr ? *proxy : WindowsRegistryProxy::instance();
}

IWindowsRegistryProxy* replaceRegistryProxy(IWindowsRegistryProxy* proxy) {
    if (proxy == nullptr) {
        proxy = &WindowsRegistryProxy::instance();
    }
    return gRegistryProxy.exchange(proxy);
}

}  // namespace kvx::foundation
