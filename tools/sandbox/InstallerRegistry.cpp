#include "InstallerRegistry.h"

#include "SandboxLayout.h"
#include "SandboxRegistry.h"
#include "integration/AppKey.h"
#include "integration/RegistrationTexts.h"
#include "integration/UninstallEntries.h"

namespace kvx::sandbox {

namespace {

using foundation::RegistryKey;

constexpr const char* kLegacyProtocols[] = {"pellam", "pellam2"};

std::string inClient(const std::filesystem::path& installRoot, const wchar_t* exe) {
    return utf8((installRoot / kClientFolderName / exe).wstring());
}

bool writeAppKey(const std::filesystem::path& installRoot, const InstallerRegistryOptions& options,
                 bool view64) {
    RegistryKey key = apps::openAppKey(true, view64);
    bool written = key.set("InstallLocation", std::wstring_view(installRoot.wstring() + L"\\"));
    const std::pair<const char*, const wchar_t*> paths[] = {
        {"LauncherAppPath", L"KorvLauncher.exe"},
        {"ClientPath", L"KorvDesktop.exe"},
        {"KorvConnectMsAppPath", L"KorvConnect_microsoft.exe"},
        {"KorvConnectLink2KorvAppPath", L"Link2Korv.exe"},
        {"FaultReporterPath", L"FaultReporter.exe"},
    };
    for (const auto& [name, exe] : paths) {
        written = key.set(name, std::string_view(inClient(installRoot, exe))) && written;
    }
    written = key.set("InstallSuccessful", uint32_t{1}) && written;
    // The installer made the data folder, admin-owned, and says so.
    written = key.set("CommonAppPathCreated", uint32_t{1}) && written;
    written = key.set("IsUnavailable", uint32_t{0}) && written;
    if (view64) {
        written = key.set("FlintMode", uint32_t{0}) && written;
    }
    return key.set("BundleProviderKey", options.staleBundleKey ? kStaleBundleId : kBundleId) && written;
}

bool writeUninstallEntry(const char* keyName, bool view64, bool bundle, const FileVersion& version) {
    RegistryKey entry(HKEY_LOCAL_MACHINE, std::string(apps::suite::kUninstallPath) + "\\" + keyName, view64,
                      true);
    const std::string versionText = fileVersionText(version);
    bool written = entry.set("DisplayName", "Korv app");
    written = entry.set("Publisher", "Tessory") && written;
    written = entry.set("DisplayVersion", std::string_view(versionText)) && written;
    written = entry.set("VersionMajor", uint32_t{version[0]}) && written;
    written = entry.set("VersionMinor", uint32_t{version[1]}) && written;
    if (bundle) {
        written = entry.set("BundleVersion", std::string_view(versionText)) && written;
        written = entry.set("UninstallString", kInstallerUninstallCommand) && written;
        written = entry.set("QuietUninstallString", kInstallerQuietUninstallCommand) && written;
    }
    return written;
}

bool writeProtocols(const std::filesystem::path& installRoot) {
    bool written = true;
    for (const apps::suite::ProtocolRow& row : apps::suite::protocolTable()) {
        RegistryKey protocol(HKEY_CLASSES_ROOT, row.protocol, true, true);
        written = protocol.set("", row.description) && written;
        written = protocol.set("URL Protocol", "") && written;
        const std::string exe = inClient(installRoot, wide(row.executable).c_str());
        written = RegistryKey(HKEY_CLASSES_ROOT, apps::suite::protocolCommandKey(row.protocol), true, true)
                      .set("", std::string_view(apps::suite::protocolCommand(row, exe))) &&
                  written;
    }
    const std::string client = inClient(installRoot, L"KorvDesktop.exe");
    const std::string legacyCommand =
        apps::suite::legacyProtocolCommand(inClient(installRoot, L"KorvLauncher.exe"));
    for (const char* legacy : kLegacyProtocols) {
        written = RegistryKey(HKEY_CLASSES_ROOT, apps::suite::protocolCommandKey(legacy), true, true)
                      .set("", std::string_view(legacyCommand)) &&
                  written;
    }
    for (const char* legacyKey : {"Software\\Pellam", "Software\\Tessory\\KorvDM"}) {
        written = RegistryKey(HKEY_LOCAL_MACHINE, legacyKey, false, true)
                      .set("ClientPath", std::string_view(client)) &&
                  written;
    }
    return written;
}

void deleteBelow(HKEY root, const char* parent, const char* name, bool view64) {
    RegistryKey key(root, parent, view64, false);
    if (key.isValid() && key.subkeyExists(name, view64)) {
        RegistryKey(root, parent, view64, true).deleteTree(name);
    }
}

}  // namespace

bool writeInstallerRegistry(const std::filesystem::path& installRoot,
                            const InstallerRegistryOptions& options) {
    bool written = writeAppKey(installRoot, options, true);
    written = writeAppKey(installRoot, options, false) && written;
    if (options.uninstallEntries) {
        written = writeUninstallEntry(kBundleId, false, true, options.version) && written;
        written = writeUninstallEntry(apps::suite::kProductId, true, false, options.version) && written;
    }
    return writeProtocols(installRoot) && written;
}

void removeInstallerRegistry() {
    for (const char* entry : {kBundleId, kStaleBundleId}) {
        deleteBelow(HKEY_LOCAL_MACHINE, apps::suite::kUninstallPath, entry, false);
    }
    deleteBelow(HKEY_LOCAL_MACHINE, apps::suite::kUninstallPath, apps::suite::kProductId, true);
    for (const apps::suite::ProtocolRow& row : apps::suite::protocolTable()) {
        deleteBelow(HKEY_CLASSES_ROOT, "", row.protocol, true);
    }
    for (const char* legacy : kLegacyProtocols) {
        deleteBelow(HKEY_CLASSES_ROOT, "", legacy, true);
    }
    deleteBelow(HKEY_LOCAL_MACHINE, "Software", "Pellam", false);
    deleteBelow(HKEY_LOCAL_MACHINE, "Software\\Tessory", "KorvDM", false);
    removeAppKey();
}

}  // namespace kvx::sandbox
