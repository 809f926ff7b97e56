#include "integration/Shortcuts.h"

#include <array>

#include "foundation/Logging.h"
#include "foundation/SafeFormat.h"
#include "foundation/fs/IFilesystem.h"
#include "foundation/paths/TamrinUtils.h"
#include "framework/config/ConfigSystem.h"
#include "integration/AppDirectories.h"
#include "integration/ShellLink.h"

namespace kvx::apps::suite {

namespace {

using services::platform::createShortcut;

// Removed when found, in this order.
constexpr std::array<const char*, 3> kEarlierDesktopShortcuts{"Pellam Beta.lnk", "Korv Desktop.lnk",
                                                              "Korv app.lnk"};
constexpr std::array<const char*, 2> kEarlierStartMenuShortcuts{"Korv Desktop.lnk", "Korv app.lnk"};

AppPath appPathIn(const std::string& directory, const char* executable) {
    return AppPath{directory, (fs::Path::fromUtf8(directory) / fs::Path::fromUtf8(executable)).utf8()};
}

fs::Path joined(const fs::Path& folder, const char* name) {
    return folder / fs::Path::fromUtf8(name);
}

bool pathExists(const fs::Path& path) {
    auto exists = fs::filesystem().exists(path);
    return exists.isOk() && exists.peek();
}

// The all-users folder, else the user's own; empty when neither resolves.
fs::Path specialFolder(foundation::SpecialDirectory common, foundation::SpecialDirectory own) {
    fs::Path folder = foundation::tamrinPathConstructorHelper(common, "", "", false);
    return folder.empty() ? foundation::tamrinPathConstructorHelper(own, "", "", false) : folder;
}

// True when at least one was there and is gone now.
template <size_t N>
bool removeEarlierShortcuts(const fs::Path& folder, const std::array<const char*, N>& names) {
    bool removed = false;
    for (const char* name : names) {
        const fs::Path shortcut = joined(folder, name);
        if (pathExists(shortcut)) {
            auto done = fs::filesystem().remove(shortcut);
            removed = (done.isOk() && done.peek()) || removed;
        }
    }
    return removed;
}

// Only to a program that is there: an empty directory means it was not found in the install, and a
// shortcut of all users must never start what lies elsewhere.
bool writeShortcut(const fs::Path& shortcut, const AppPath& target, int32_t iconIndex, const char* arguments,
                   const char* modelId) {
    if (target.directory.empty() || !pathExists(fs::Path::fromUtf8(target.executable))) {
        return false;
    }
    return createShortcut(shortcut.utf8(), target.executable, target.directory, iconIndex, arguments,
                          modelId);
}

int32_t createShortcutOnce(const std::string& folder, const char* name, const AppPath& app, int32_t iconIndex,
                           const char* arguments) {
    const fs::Path shortcut = joined(fs::Path::fromUtf8(folder), name);
    if (pathExists(shortcut)) {
        return kShortcutExisted;
    }
    return writeShortcut(shortcut, app, iconIndex, arguments, "") ? kShortcutCreated : kShortcutFailed;
}

}  // namespace

AppPath getShortcutTarget() {
    if (config::configSystem().getBool("machine.ktcu.migrateShortcuts", false)) {
        return appPathIn(utils::getDesktopDirectory(), "KorvDesktop.exe");
    }
    return appPathIn(utils::getLauncherDirectory(), "KorvLauncher.exe");
}

void createDesktopShortcut(bool wanted, const ShortcutErrorSink& onError) {
    const fs::Path folder =
        specialFolder(foundation::SpecialDirectory::commonDesktop, foundation::SpecialDirectory::userDesktop);
    const fs::Path shortcut = joined(folder, kMainShortcutName);
    // An earlier version's shortcut is replaced by the new name even when none is wanted.
    wanted = removeEarlierShortcuts(folder, kEarlierDesktopShortcuts) || wanted;
    if (!pathExists(shortcut) && !wanted) {
        return;
    }
    const AppPath target = getShortcutTarget();
    if (folder.empty() || !writeShortcut(shortcut, target, 0, "", kAppUserModelId)) {
        onError(ShortcutStep::desktop,
                foundation::safeFormat("Failed to create new desktop shortcut {}", shortcut.utf8()));
    }
}

void createStartMenuShortcuts(const ShortcutErrorSink& onError) {
    const fs::Path programs = specialFolder(foundation::SpecialDirectory::commonProgramsShortcuts,
                                            foundation::SpecialDirectory::userProgramsShortcuts);
    const fs::Path folder = joined(programs, kStartMenuFolderName);
    if (const fs::Path legacy = joined(programs, kLegacyStartMenuFolderName);
        fs::filesystem().isDirectory(legacy)) {
        (void)fs::filesystem().removeDirectory(legacy, true);
    }
    (void)removeEarlierShortcuts(folder, kEarlierStartMenuShortcuts);

    const auto failed = [&](const fs::Path& shortcut) {
        onError(ShortcutStep::startMenu,
                foundation::safeFormat("Failed to create new start menu shortcut {}", shortcut.utf8()));
    };
    const AppPath target = getShortcutTarget();
    if (const fs::Path main = joined(folder, kMainShortcutName);
        !writeShortcut(main, target, 0, "", kAppUserModelId)) {
        failed(main);
    }
    const AppPath faultReporter = appPathIn(utils::getFaultReporterDirectory(), "FaultReporter.exe");
    if (const fs::Path reporter = joined(folder, kFaultReporterShortcutName);
        !writeShortcut(reporter, faultReporter, 0, "", "")) {
        failed(reporter);
    }
    if (createRecoveryShortcutIn(
            folder.utf8(), appPathIn(utils::getLauncherDirectory(), "KorvLauncher.exe")) == kShortcutFailed) {
        onError(ShortcutStep::startMenu,
                foundation::safeFormat("Failed to create app recovery start menu shortcut [{}] in [{}]",
                                       kAppRecoveryShortcutName, folder.utf8()));
    }
    if (createUpdaterShortcutIn(folder.utf8(), appPathIn(utils::getKorvUpdaterDirectory(),
                                                         "KorvUpdater.exe")) == kShortcutFailed) {
        onError(ShortcutStep::startMenu,
                foundation::safeFormat("Failed to create app updater start menu shortcut [{}] in [{}]",
                                       kUpdaterShortcutName, folder.utf8()));
    }
}

void createAppRecoveryShortcut(const fs::Path& clientFolder, const ShortcutErrorSink& onError) {
    if (createRecoveryShortcutIn(clientFolder.utf8(), appPathIn(utils::getLauncherDirectory(),
                                                                "KorvLauncher.exe")) == kShortcutFailed) {
        onError(ShortcutStep::appFolder,
                foundation::safeFormat("Failed to create app recovery start menu shortcut [{}] in [{}]",
                                       kAppRecoveryShortcutName, clientFolder.utf8()));
    }
}

int32_t createRecoveryShortcutIn(const std::string& folder, const AppPath& app) {
    return createShortcutOnce(folder, kAppRecoveryShortcutName, app, 1, kAppRecoveryArguments);
}

int32_t createUpdaterShortcutIn(const std::string& folder, const AppPath& app) {
    return createShortcutOnce(folder, kUpdaterShortcutName, app, 0, "");
}

}  // namespace kvx::apps::suite
