#pragma once
// The suite's shortcuts, recreated after a successful update: which exist, where they live and
// what they start. A failure never changes the update's result; each is handed to the caller's
// sink, which records it, and the next shortcut is still attempted.

#include <cstdint>
#include <functional>
#include <string>

#include "foundation/fs/Path.h"

namespace kvx::apps::suite {

inline constexpr const char* kMainShortcutName = "Korv.lnk";
inline constexpr const char* kStartMenuFolderName = "Korv";
inline constexpr const char* kFaultReporterShortcutName = "Korv Fault Reporter.lnk";
inline constexpr const char* kAppRecoveryShortcutName = "App Recovery.lnk";
inline constexpr const char* kAppRecoveryArguments = "-recovery";
inline constexpr const char* kUpdaterShortcutName = "Korv Updater.lnk";
inline constexpr const char* kLegacyStartMenuFolderName = "Pellam Beta";
inline constexpr const char* kAppUserModelId = "Tessory.KorvDesktop";

// Which of the three steps failed; the caller maps it to its error kind.
enum class ShortcutStep { desktop, startMenu, appFolder };
using ShortcutErrorSink = std::function<void(ShortcutStep step, const std::string& message)>;

// A program of the suite: its directory and the executable in it.
struct AppPath {
    std::string directory;
    std::string executable;
};

enum ShortcutOutcome : int32_t { kShortcutCreated = 0, kShortcutFailed = 1, kShortcutExisted = 2 };

// What the main shortcuts start: the client when "machine.ktcu.migrateShortcuts" is set, else the launcher.
AppPath getShortcutTarget();

// Refreshes an existing desktop shortcut; a missing one is created only when `wanted` (by the
// options) or when a shortcut of an earlier version was replaced.
void createDesktopShortcut(bool wanted, const ShortcutErrorSink& onError);
void createStartMenuShortcuts(const ShortcutErrorSink& onError);
// "App Recovery.lnk" inside the client folder; an existing one is left alone.
void createAppRecoveryShortcut(const fs::Path& clientFolder, const ShortcutErrorSink& onError);

// A ShortcutOutcome; an existing shortcut is left alone.
int32_t createRecoveryShortcutIn(const std::string& folder, const AppPath& app);
int32_t createUpdaterShortcutIn(const std::string& folder, const AppPath& app);

}  // namespace kvx::apps::suite
