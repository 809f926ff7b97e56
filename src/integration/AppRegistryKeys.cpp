#include "integration/AppRegistryKeys.h"

#include <windows.h>

#include <optional>
#include <string>

#include "foundation/Logging.h"
#include "foundation/fs/IFilesystem.h"
#include "foundation/fs/PathRulesWin.h"
#include "foundation/paths/TamrinUtils.h"
#include "foundation/update/DestageContext.h"
#include "foundation/update/ResultCodes.h"
#include "foundation/win/ErrorText.h"
#include "integration/AppKey.h"

namespace kvx::apps {

namespace {

constexpr const char* kFixupFunction = "kvx::apps::fixupMainAppKeys";
constexpr const char* kInstallLocationValue = "InstallLocation";
// The destager lies in "<install>\Korv Desktop\<staged folder>\Korv Desktop\KorvDestager.exe" when
// it installs or repairs from a staged copy, three components below the install location.
constexpr int kExecutableDepthBelowInstall = 3;

fs::Path withoutLastComponents(fs::Path path, int count) {
    for (int i = 0; i < count; ++i) {
        path = path.parent();
    }
    return path;
}

fs::Path withoutTrailingSeparators(const fs::Path& path) {
    std::wstring text = path.wide();
    while (!text.empty() && (text.back() == L'\\' || text.back() == L'/')) {
        text.pop_back();
    }
    return fs::Path(std::move(text));
}

fs::Path defaultInstallLocation() {
    return foundation::tamrinPathConstructorHelper(foundation::SpecialDirectory::programFiles,
                                                   "Tessory\\Korv Desktop", "", false);
}

// Nothing when an update finds the install location registered: the keys are left as they are.
std::optional<fs::Path> chooseInstallLocation(destager::Action action, const fs::Path& executable) {
    if (action == destager::Action::Install) {
        return withoutLastComponents(executable, kExecutableDepthBelowInstall);
    }
    const std::wstring registered = openAppKey(false, true).get<std::wstring>(kInstallLocationValue);
    if (!registered.empty()) {
        return action == destager::Action::Update ? std::nullopt
                                                  : std::optional<fs::Path>(fs::Path(registered));
    }
    if (action == destager::Action::Repair) {
        return withoutLastComponents(executable, kExecutableDepthBelowInstall);
    }
    return defaultInstallLocation();
}

// Folder names compare as the filesystem does: ordinal, case-insensitive.
bool sameComponent(const std::filesystem::path& a, const std::filesystem::path& b) {
    return fs::equalsFoldingOrdinalCase(a.native(), b.native());
}

// Component by component, so a sibling whose name merely extends the folder's name is outside.
bool isInsideFolder(const fs::Path& file, const fs::Path& folder) {
    const std::filesystem::path& filePath = file.std();
    auto fileIt = filePath.begin();
    for (const auto& part : folder.std()) {
        if (fileIt == filePath.end() || !sameComponent(*fileIt, part)) {
            return false;
        }
        ++fileIt;
    }
    return fileIt != filePath.end();
}

bool writeBothViews(const fs::Path& installLocation) {
    KVX_LOG_AS(kFixupFunction, services::logging::Info,
               "Setting registry keys based on install location [{}]", installLocation.utf8());
    foundation::RegistryKey key64 = openAppKey(true, true);
    foundation::RegistryKey key32 = openAppKey(true, false);
    const bool written64 = updateAppRegistryKey(key64, installLocation);
    const bool written32 = updateAppRegistryKey(key32, installLocation);
    return written64 && written32;
}

}  // namespace

int fixupMainAppKeys(const destager::DestagerOptions& options) {
    auto executable = fs::filesystem().executablePath();
    if (executable.isError()) {
        const fs::OsError error = executable.unwrapError();
        KVX_LOG_AS(kFixupFunction, services::logging::Error, "Failed to get current executable path: {}",
                   fmt::format("{}: {}", error, WinUtils::getErrorAsString(error)));
        return kInstallLocationUnknown;
    }
    const fs::Path executablePath = executable.unwrap();
    const std::optional<fs::Path> chosen = chooseInstallLocation(options.action, executablePath);
    if (!chosen) {
        return kDestageSuccess;
    }
    const fs::Path installLocation = withoutTrailingSeparators(*chosen);
    if (installLocation.filename().wide() != kClientFolderName) {
        KVX_LOG_AS(kFixupFunction, services::logging::Error,
                   "Install location [{}] does not match expected structure", installLocation.utf8());
        return kNotRunningFromInstallLocation;
    }
    if (!isInsideFolder(executablePath, installLocation)) {
        KVX_LOG_AS(kFixupFunction, services::logging::Error, "Not running from the install location");
        return kNotRunningFromInstallLocation;
    }
    if (!writeBothViews(installLocation)) {
        return kNotRunningFromInstallLocation;
    }
    if (options.action == destager::Action::Update) {
        return kDestageSuccess;
    }
    const uint32_t flintMode = options.mode == destager::Mode::Flint ? 1u : 0u;
    return openAppKey(true, true).set("FlintMode", flintMode) ? kDestageSuccess
                                                              : kNotRunningFromInstallLocation;
}

bool updateAppRegistryKey(foundation::RegistryKey& key, const fs::Path& installLocation) {
    const fs::Path clientFolder = installLocation / kClientFolderName;
    bool ok = setAppKeyPath(key, kInstallLocationValue, installLocation / L"");
    ok = setAppKeyPath(key, "LauncherAppPath", clientFolder / L"KorvLauncher.exe") && ok;
    ok = setAppKeyPath(key, "ClientPath", clientFolder / L"KorvDesktop.exe") && ok;
    ok = setAppKeyPath(key, "KorvConnectMsAppPath", clientFolder / L"KorvConnect_microsoft.exe") && ok;
    ok = setAppKeyPath(key, "FaultReporterPath", clientFolder / L"FaultReporter.exe") && ok;
    if (!key.set("InstallSuccessful", uint32_t{1})) {
        KVX_LOG_AS("kvx::apps::updateAppRegistryKey", services::logging::Error, "Failed to set [{}] to [{}]",
                   "InstallSuccessful", 1);
        ok = false;
    }
    return ok;
}

bool setAppKeyPath(foundation::RegistryKey& key, std::string_view name, const fs::Path& path) {
    if (key.set(name, std::wstring_view(path.wide()))) {
        return true;
    }
    KVX_LOG_AS("kvx::apps::setAppKeyPath", services::logging::Error, "Failed to set [{}] to [{}]", name,
               path.utf8());
    return false;
}

}  // namespace kvx::apps
