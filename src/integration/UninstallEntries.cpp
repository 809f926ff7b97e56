#include "integration/UninstallEntries.h"

#include <shellapi.h>
#include <windows.h>

#include <fmt/format.h>

#include "foundation/Logging.h"
#include "foundation/TextConversion.h"
#include "foundation/fs/IFilesystem.h"
#include "foundation/fs/Path.h"
#include "foundation/registry/RegistryKey.h"
#include "integration/AppDirectories.h"
#include "integration/AppKey.h"
#include "integration/RegistrationTexts.h"
#include "kvx/BuildVersion.h"

namespace kvx::apps::suite {

namespace {

using foundation::RegistryKey;

std::string entryPath(std::string_view keyName) {
    return fmt::format("{}\\{}", kUninstallPath, keyName);
}

std::string displayNameOf(std::string_view bundleId) {
    return RegistryKey(HKEY_LOCAL_MACHINE, entryPath(bundleId), false, false).get<std::string>("DisplayName");
}

struct ArgvTraits {
    using Type = LPWSTR*;
    static Type invalid() { return nullptr; }
    static bool isValid(Type argv) { return argv != nullptr; }
    static void close(Type argv) { LocalFree(argv); }
};

// The first argument of a command line by the Windows rules; empty when there is none.
std::string firstArgument(const std::string& commandLine) {
    const std::wstring wide = foundation::widen(commandLine, KVX_SOURCE_LOCATION);
    int count = 0;
    WinUtils::UniqueHandle<ArgvTraits> argv(CommandLineToArgvW(wide.c_str(), &count));
    if (!argv || count < 1) {
        return "";
    }
    return foundation::narrow(argv.get()[0], KVX_SOURCE_LOCATION);
}

struct UninstallEntry {
    std::string keyName;
    bool view64;
    bool withBundleVersion;
};

void writeEntry(const UninstallEntry& entry, const UninstallEntryErrorReport& report) {
    if (entry.keyName.empty()) {
        report(UninstallEntryError::KeyNotFound, "The app guid is empty");
        return;
    }
    const std::string path = entryPath(entry.keyName);
    RegistryKey key = RegistryKey::openWritable(HKEY_LOCAL_MACHINE, path, entry.view64);
    if (!key.isValid()) {
        report(UninstallEntryError::RegistryPerms,
               fmt::format("Couldn't open the key {} for updating", path));
        return;
    }
    const auto write = [&](const char* name, auto value) {
        if (!key.set(name, value)) {
            report(UninstallEntryError::RegistryPerms, fmt::format("Failed to write key {}", name));
        }
    };
    write("DisplayName", "Korv app");
    write("DisplayVersion", kBuildVersion);
    if (entry.withBundleVersion) {
        write("BundleVersion", kBuildVersion);
    }
    write("VersionMajor", uint32_t{kBuildVersionMajor});
    write("VersionMinor", uint32_t{kBuildVersionMinor});
}

}  // namespace

std::string getInstalledBundleId() {
    std::string bundleId = openAppKey(true, true).get<std::string>("BundleProviderKey");
    if (!bundleId.empty()) {
        if (isSuiteDisplayName(displayNameOf(bundleId))) {
            return bundleId;
        }
        KVX_LOG_WARN("Incorrect BundleProviderKey found [{}], searching for correct value", bundleId);
        bundleId.clear();
    }
    RegistryKey(HKEY_LOCAL_MACHINE, kUninstallPath, false, false).enumSubKeys([&](const std::string& name) {
        if (!isSuiteDisplayName(displayNameOf(name))) {
            return true;
        }
        bundleId = name;
        openAppKey(true, true).set("BundleProviderKey", std::string_view(bundleId));
        openAppKey(true, false).set("BundleProviderKey", std::string_view(bundleId));
        return false;
    });
    return bundleId;
}

void updateUninstallStrings() {
    const std::string bundleId = getInstalledBundleId();
    if (bundleId.empty()) {
        return;
    }
    updateUninstallStringValue(bundleId, "UninstallString", "OriginalUninstallString", "/uninstall");
    updateUninstallStringValue(bundleId, "QuietUninstallString", "OriginalQuietUninstallString",
                               "/uninstall /quiet");
}

void updateUninstallStringValue(std::string_view bundleId, std::string_view valueName,
                                std::string_view savedValueName, std::string_view arguments) {
    const std::string path = entryPath(bundleId);
    RegistryKey appKey = openAppKey(true, true);
    RegistryKey entry(HKEY_LOCAL_MACHINE, path, false, true);
    std::string installerCommand = appKey.get<std::string>(savedValueName);
    if (installerCommand.empty()) {
        installerCommand = entry.get<std::string>(valueName);
        if (installerCommand.empty()) {
            KVX_LOG_ERROR("Unable to load original uninstall command from [{}\\{}]", path, valueName);
            return;
        }
        // Saved once: later runs must not take the suite's own command for the installer's.
        appKey.set(savedValueName, std::string_view(installerCommand));
    }
    const std::string installerPath = firstArgument(installerCommand);
    if (installerPath.empty()) {
        return;
    }
    appKey.set("OriginalUninstallPath", std::string_view(installerPath));
    if (appKey.get<std::string>(savedValueName).empty()) {
        return;
    }
    // An administrator runs this command: without the suite's own uninstaller it is left as it is.
    const std::string& directory = utils::getUninstallDirectory();
    const fs::Path uninstaller = fs::Path::fromUtf8(directory) / fs::Path(L"KorvUninstall.exe");
    auto present = fs::filesystem().exists(uninstaller);
    if (directory.empty() || !present.isOk() || !present.peek()) {
        KVX_LOG_WARN("No suite uninstaller in the install, [{}] left as it is", valueName);
        return;
    }
    entry.set(valueName, std::string_view(uninstallCommand(uninstaller.utf8(), arguments)));
}

void updateUninstallEntries(const UninstallEntryErrorReport& report) {
    const UninstallEntry entries[] = {
        {getInstalledBundleId(), false, true},
        {kProductId, true, false},
    };
    for (const UninstallEntry& entry : entries) {
        writeEntry(entry, report);
    }
}

}  // namespace kvx::apps::suite
