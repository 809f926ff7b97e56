#include "integration/AppDirectories.h"

#include <optional>

#include "foundation/Assert.h"
#include "foundation/fs/IFilesystem.h"
#include "foundation/fs/PathRules.h"
#include "integration/AppKey.h"

namespace kvx::apps::utils {
namespace {

constexpr std::array<AppDirectoryEntry, kAppDirectoryCount> kAppDirectoryTable{{
    {"backgroundService", "KorvBackgroundService.exe", true},
    {"crashReporter", "KorvCrashReporter.exe", true},
    {"pellamLegacyCompatibility", "PellamLegacyCompatibility.exe", true},
    {"desktop", "KorvDesktop.exe", false},
    {"korvUpdater", "KorvUpdater.exe", false},
    {"faultReporter", "FaultReporter.exe", true},
    {"launcher", "KorvLauncher.exe", true},
    {"launchHelper", "KorvLaunchHelper.exe", true},
    {"cefSubProcess", "KorvCefSubProcess.exe", true},
    {"korvEgsProxy", "KorvEgsProxy.exe", false},
    {"korvLocalHostSvc", "KorvLocalHostSvc.exe", false},
    {"gameElevationProxy", "KorvGEP.exe", false},
    {"uninstall", "KorvUninstall.exe", false},
    {"korvSteamProxy", "KorvSteamProxy.exe", false},
    {"korvSteamAuthHelper", "KorvSteamAuthHelper.exe", false},
    {"korvSteamLauncher", "KorvSteamLauncher.exe", false},
    {"korvConnect", "KorvConnect_microsoft.exe", false},
}};

std::array<std::string, kAppDirectoryCount>& resolvedDirectories() {
    static std::array<std::string, kAppDirectoryCount> directories;
    return directories;
}

bool folderHoldsApp(const fs::Path& folder, std::string_view appName) {
    auto found = fs::filesystem().exists(folder / fs::Path::fromUtf8(appName));
    return found.isOk() && found.peek();
}

// ".." elements resolved, so that "inside a folder" is a question of the path's own elements.
fs::Path normalised(const fs::Path& path) { return fs::Path(path.std().lexically_normal()); }

bool isNamed(const fs::Path& folder, std::string_view name) {
    return fs::equalsFoldingAsciiCase(folder.filename().utf8(), name);
}

// A client folder, live or staged, or the staged folder's destager folder.
bool isInstalledFolder(const fs::Path& folder) {
    return isNamed(folder, "Korv Desktop") || isNamed(folder, "Destager");
}

// The install location around a running program of an installed suite; none in a developer layout.
// The registered one (written by an administrator) when the program lies inside it; else the one its
// position names: "<install>\Korv Desktop\<program>" (the install location is itself named "Korv
// Desktop", a staged folder never is) or "<install>\<staged>\<Korv Desktop or Destager>\<program>".
std::optional<fs::Path> installLocationAround(const fs::Path& executable) {
    const std::string registered = openAppKey(false, true).get<std::string>("InstallLocation");
    if (!registered.empty()) {
        const fs::Path location = normalised(fs::Path::fromUtf8(registered));
        if (location.isAbsolute() && fs::isSameOrInsideFolder(location.wide(), executable.wide())) {
            return location;
        }
    }
    const fs::Path ownFolder = executable.parent();
    if (!isInstalledFolder(ownFolder)) {
        return std::nullopt;
    }
    const fs::Path above = ownFolder.parent();
    return isNamed(above, "Korv Desktop") ? above : above.parent();
}

// An administrator wrote the value, but it still only counts inside the running program's install.
std::optional<fs::Path> fromRegisteredLauncher(std::string_view appName,
                                               const std::optional<fs::Path>& install) {
    const std::string launcher = openAppKey(false, true).get<std::string>("LauncherAppPath");
    if (launcher.empty()) {
        return std::nullopt;
    }
    fs::Path folder = normalised(fs::Path::fromUtf8(launcher)).parent();
    if (install && !fs::isSameOrInsideFolder(install->wide(), folder.wide())) {
        return std::nullopt;
    }
    return folderHoldsApp(folder, appName) ? std::optional(folder) : std::nullopt;
}

// A staged client folder becomes the install's client folder at the swap, before anyone reads the
// table: a program found there is named where it will lie, never in the staged folder (anyone's,
// and gone after the update).
std::optional<fs::Path> fromOwnFolder(const fs::Path& ownFolder, std::string_view appName,
                                      const std::optional<fs::Path>& install) {
    if (!isInstalledFolder(ownFolder) || !folderHoldsApp(ownFolder, appName)) {
        return std::nullopt;
    }
    const bool staged = install && !fs::isSamePath(install->wide(), ownFolder.parent().wide());
    if (staged && isNamed(ownFolder, "Korv Desktop")) {
        return *install / L"Korv Desktop";
    }
    return ownFolder;
}

bool isTestOutputFolder(std::string_view name) { return name == "test" || name == "test/" || name == "test\\"; }

std::optional<fs::Path> fromBuildLayout(const fs::Path& ownFolder, std::string_view appBuildFolder,
                                        std::string_view appName, bool searchTestOutput) {
    fs::Path folder = isTestOutputFolder(ownFolder.filename().utf8()) ? ownFolder.parent() : ownFolder;
    const fs::Path buildFolder = fs::Path::fromUtf8(appBuildFolder);
    for (;;) {
        const fs::Path candidate = folder / buildFolder;
        if (folderHoldsApp(candidate, appName)) {
            return candidate;
        }
        if (searchTestOutput && folderHoldsApp(candidate / L"test", appName)) {
            return candidate / L"test";
        }
        const fs::Path parent = folder.parent();
        if (parent.empty() || parent == folder) {
            return std::nullopt;
        }
        folder = parent;
    }
}

// Where the running program lies, worked out once for the whole table.
struct RunningProgram {
    std::optional<fs::Path> executable;  // normalised; none when it cannot be read
    std::optional<fs::Path> install;
};

RunningProgram runningProgram() {
    auto executable = fs::filesystem().executablePath();
    if (executable.isError()) {
        return {};
    }
    const fs::Path path = normalised(executable.peek());
    return {path, installLocationAround(path)};
}

std::optional<fs::Path> searchAppDirectory(const RunningProgram& running, std::string_view appBuildFolder,
                                           std::string_view appName, bool searchTestOutput) {
    if (auto found = fromRegisteredLauncher(appName, running.install)) {
        return found;
    }
    if (!running.executable) {
        return std::nullopt;
    }
    const fs::Path ownFolder = running.executable->parent();
    if (auto found = fromOwnFolder(ownFolder, appName, running.install)) {
        return found;
    }
    // The folders above an install are anyone's (a drive root is): an installed program never
    // looks there, and no build layout lies inside an install.
    if (running.install) {
        return std::nullopt;
    }
    return fromBuildLayout(ownFolder, appBuildFolder, appName, searchTestOutput);
}

std::string directoryFor(const RunningProgram& running, std::string_view appBuildFolder, std::string_view appName,
                         bool searchTestOutput) {
    const auto found = searchAppDirectory(running, appBuildFolder, appName, searchTestOutput);
    const bool pathFound = found.has_value();
    KVX_ASSERT(foundation::AssertLevel::Error, pathFound, "getAppDirectoryFor failed.  appBuildFolder[{}] appName[{}]",
               appBuildFolder, appName);
    return pathFound ? found->utf8() : std::string();
}

}  // namespace

std::string getAppDirectoryFor(std::string_view appBuildFolder, std::string_view appName, bool searchTestOutput) {
    return directoryFor(runningProgram(), appBuildFolder, appName, searchTestOutput);
}

const std::array<AppDirectoryEntry, kAppDirectoryCount>& appDirectoryTable() { return kAppDirectoryTable; }

void resolveAppDirectories() {
    auto& directories = resolvedDirectories();
    const RunningProgram running = runningProgram();
    for (size_t i = 0; i < kAppDirectoryCount; ++i) {
        const AppDirectoryEntry& entry = kAppDirectoryTable[i];
        directories[i] = directoryFor(running, entry.buildFolder, entry.executable, entry.searchTestOutput);
    }
}

const std::string& appDirectory(AppDirectory which) { return resolvedDirectories().at(static_cast<size_t>(which)); }

}  // namespace kvx::apps::utils
