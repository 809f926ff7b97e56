#include "integration/Tls12Support.h"

#include "foundation/Logging.h"
#include "foundation/registry/RegistryKey.h"
#include "process/AdminCheck.h"

namespace kvx::apps::utils {
namespace {

constexpr const char* kTls12Function = "kvx::apps::utils::enableTls12ClientSupport";
constexpr const char* kInternetSettingsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char* kSchannelClientKey =
    "SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\Protocols\\TLS 1.2\\Client";
constexpr uint32_t kTls12ProtocolBit = 0x800;

bool windows81OrLater() {
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = 6;
    version.dwMinorVersion = 3;
    version.wServicePackMajor = 0;
    DWORDLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) != FALSE;
}

HKEY defaultSettingsRoot() { return services::process::isTokenAdmin() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

void ensureProtocolBit(foundation::RegistryKey& key, const char* valueName, const char* message) {
    const uint32_t protocols = key.get<uint32_t>(valueName);
    if ((protocols & kTls12ProtocolBit) == 0) {
        KVX_LOG_AS(kTls12Function, services::logging::Info, "{}", message);
        key.set(valueName, protocols | kTls12ProtocolBit);
    }
}

void ensureSchannelClient(foundation::RegistryKey& key) {
    if (key.get<uint32_t>("Enabled") != 0 && key.get<uint32_t>("DisabledByDefault") == 0) {
        return;
    }
    KVX_LOG_AS(kTls12Function, services::logging::Info, "Enabling TLS 1.2 in SecurityProviders");
    key.set("Enabled", uint32_t{1});
    key.set("DisabledByDefault", uint32_t{0});
}

}  // namespace

void enableTls12ClientSupport() { enableTls12ClientSupport({}); }

void enableTls12ClientSupport(const Tls12Environment& environment) {
    const bool modern = environment.isWindows81OrLater ? environment.isWindows81OrLater() : windows81OrLater();
    if (modern) {
        return;
    }
    const HKEY root = environment.settingsRoot ? environment.settingsRoot() : defaultSettingsRoot();
    foundation::RegistryKey internetSettings(root, kInternetSettingsKey, true, true);
    ensureProtocolBit(internetSettings, "SecureProtocols", "Enabling TLS 1.2 in SecureProtocols");
    foundation::RegistryKey winHttp = internetSettings.openSubKey("WinHttp", true, true);
    ensureProtocolBit(winHttp, "DefaultSecureProtocols", "Enabling TLS 1.2 in DefaultSecureProtocols");
    foundation::RegistryKey schannel(root, kSchannelClientKey, true, true);
    ensureSchannelClient(schannel);
}

}  // namespace kvx::apps::utils
