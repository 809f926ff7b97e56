#include "destager/UpdateOrchestration.h"

#include <filesystem>
#include <string>
#include <string_view>

#include "destager/CrashPoints.h"
#include "destager/EarlyValidation.h"
#include "destager/ErrorTelemetry.h"
#include "destager/FolderSwap.h"
#include "destager/RepairState.h"
#include "destager/StagedFileValidation.h"
#include "destager/SymlinkMode.h"
#include "foundation/Logging.h"
#include "foundation/fs/IFilesystem.h"
#include "foundation/fs/PathRules.h"
#include "foundation/update/ResultCodes.h"
#include "framework/config/Modes.h"
#include "integration/BackgroundServiceConfig.h"
#include "integration/Shortcuts.h"
#include "integration/UninstallEntries.h"

namespace kvx::apps::destager::internal {

namespace {

// An error answer counts as "no" for every folder question of the update.
bool clientFolderExists(const DestageContext& context) {
    auto exists = fs::filesystem().exists(context.clientPath);
    return exists.isOk() && exists.peek();
}

// The link itself, not what it points at.
bool clientFolderIsLink(const DestageContext& context) {
    auto status = fs::filesystem().symlinkStatus(context.clientPath);
    return status.isOk() && status.peek().type() == std::filesystem::file_type::symlink;
}

// Resolves links (a symlink-mode client folder) so that two spellings of one folder compare
// equal; a path that cannot be resolved is compared as given.
std::wstring comparableForm(const fs::Path& path) {
    auto resolved = fs::filesystem().weaklyCanonical(path);
    std::wstring form = resolved.isOk() ? resolved.peek().wide() : path.wide();
    // The final-path form carries the long-path prefix; a path given plainly does not.
    constexpr std::wstring_view kUncPrefix = L"\\\\?\\UNC\\";
    constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
    if (form.starts_with(kUncPrefix)) {
        form = L"\\\\" + form.substr(kUncPrefix.size());
    } else if (form.starts_with(kLongPrefix)) {
        form = form.substr(kLongPrefix.size());
    }
    return std::filesystem::path(form).lexically_normal().wstring();
}

// Shortcut failures are warnings: the update stands.
void recordShortcutError(suite::ShortcutStep step, const std::string& message) {
    const int32_t code = step == suite::ShortcutStep::desktop     ? kUpecDesktopShortcut
                         : step == suite::ShortcutStep::startMenu ? kUpecStartMenuShortcut
                                                                  : kUpecAppFolderShortcut;
    addErrorTelemetryImpl(code, kSeverityWarning, message);
}

// A destager started from the live client (its copy lands there after every update) derives the
// install root as its staged folder; swapping would move the player's client away.
bool stagedClientIsLiveClient(const DestageContext& context) {
    const std::wstring staged = context.stagedClientPath.std().lexically_normal().wstring();
    const std::wstring client = context.clientPath.std().lexically_normal().wstring();
    return fs::pathsOverlap(staged, client) ||
           fs::pathsOverlap(comparableForm(context.stagedClientPath), comparableForm(context.clientPath));
}

// So are those of the uninstall entries.
void reportUninstallEntryError(suite::UninstallEntryError error, const std::string& message) {
    const int32_t code =
        error == suite::UninstallEntryError::KeyNotFound ? kUpecKeyNotFound : kUpecRegistryPerms;
    addErrorTelemetryImpl(code, kSeverityWarning, message);
}

}  // namespace

// An update started without a mode on a machine set up for Flint keeps Flint's missing shortcuts.
bool isStoredFlintUpdate(const DestagerOptions& options) {
    return options.action == Action::Update && options.mode == Mode::Unspecified &&
           fs::equalsFoldingAsciiCase(services::settings::getMode(), services::settings::kModeFlint);
}

bool isDesktopShortcutWanted(const DestagerOptions& options) {
    return !options.noDesktopShortcut && options.mode != Mode::Flint &&
           (options.action == Action::Install || options.action == Action::Repair);
}

UpdateSteps systemUpdateSteps() {
    return UpdateSteps{
        .setSuiteUnavailable = [] { setSuiteUnavailable(); },
        .enterRepairState = [] { return enterRepairState(); },
        .updateBackgroundServiceConfig = updateBackgroundServiceConfig,
        .updateUninstallStrings = suite::updateUninstallStrings,
        .updateUninstallEntries = [] { suite::updateUninstallEntries(reportUninstallEntryError); },
        .createDesktopShortcut =
            [](const DestagerOptions& options) {
                suite::createDesktopShortcut(isDesktopShortcutWanted(options), recordShortcutError);
            },
        .createStartMenuShortcuts = [] { suite::createStartMenuShortcuts(recordShortcutError); },
        .createAppRecoveryShortcut =
            [](const DestageContext& context) {
                suite::createAppRecoveryShortcut(context.clientPath, recordShortcutError);
            },
    };
}

int32_t validateDirectories(const DestageContext& context) {
    if (!fs::filesystem().isDirectory(context.stagedClientPath)) {
        KVX_LOG_ERROR("Could not find the staged update, path[{}]", context.stagedClientPath.utf8());
        return kStagedClientMissing;
    }
    if (stagedClientIsLiveClient(context)) {
        KVX_LOG_ERROR("Staged client is the live client, nothing to destage, path[{}]",
                      context.stagedClientPath.utf8());
        return kStagedClientMissing;
    }
    if (!fs::filesystem().isDirectory(context.clientPath)) {
        KVX_LOG_ERROR("Could not find existing client folder, path[{}]", context.clientPath.utf8());
        return kClientFolderMissing;
    }
    return kDestageSuccess;
}

int32_t destageUpdate(const DestageContext& context, const UpdateSteps& steps,
                      apps::internal::EarlyValidation& stagedValidation) {
    KVX_LOG_VERBOSE(
        "Destaging update, note that the old install folder will be edited/broken from this point onward");
    KVX_LOG_VERBOSE("Staged path[{}]. Current client path[{}]", context.stagedClientPath.utf8(),
                    context.clientPath.utf8());
    if (const int32_t code = steps.enterRepairState(); code != kDestageSuccess) {
        KVX_LOG_ERROR("Failed to enter repair state, code[{}]", code);
        return code;
    }
    // From here on the suite is down and the install may be half-swapped.
    crashPoint(CrashStep::afterRepairState);
    stagedValidation.report();
    const bool clientExists = clientFolderExists(context);
    if (!clientExists) {
        KVX_LOG_WARN("Could not find main client folder at path[{}], attempting to repair with this update",
                     context.clientPath.utf8());
    }
    if (!isPlainModeStagedFolder(context.stagedFolderName)) {
        if (clientExists && !clientFolderIsLink(context)) {
            if (const int32_t code = migrateToSymlinkMode(context); code != kDestageSuccess) {
                KVX_LOG_ERROR("Failed to migrate install to symlink mode, code[{}]", code);
                return code;
            }
        }
        if (const int32_t code = swapSymlinkFolders(context); code != kDestageSuccess) {
            KVX_LOG_ERROR("Failed to destage update in symlink mode, code[{}]", code);
            return code;
        }
    } else {
        if (clientExists && clientFolderIsLink(context)) {
            if (const int32_t code = revertSymlinkMode(context); code != kDestageSuccess) {
                KVX_LOG_ERROR("Failed to revert install from symlink mode, code[{}]", code);
                return code;
            }
        }
        if (const int32_t code = swapFolders(context); code != kDestageSuccess) {
            KVX_LOG_ERROR("Failed to destage update, code[{}]", code);
            return code;
        }
    }
    crashPoint(CrashStep::afterSwapBeforeRegistration);
    tryValidateStagedFiles(context.clientPath, context.zipPath, true);
    steps.updateBackgroundServiceConfig(context);
    return kDestageSuccess;
}

}  // namespace kvx::apps::destager::internal

namespace kvx::apps::destager {

int32_t applyUpdate(const DestagerOptions& options, const DestageContext& context) {
    return applyUpdate(options, context, internal::systemUpdateSteps());
}

int32_t applyUpdate(const DestagerOptions& options, const DestageContext& context,
                    const internal::UpdateSteps& steps) {
    int32_t code = internal::validateDirectories(context);
    if (code == kClientFolderMissing) {
        // The update then doubles as a repair of the missing client.
        KVX_LOG_WARN("Existing client directory is missing");
    } else if (code != kDestageSuccess) {
        KVX_LOG_ERROR("Couldn't find staged update/client folders required to destage update, code[{}]",
                      code);
        return code;
    }
    // The staged files are read while the suite still runs, and reported once it has stopped. The
    // staged folder and its archive belong to the update: the client wrote them before starting the
    // destager and nothing writes there again, so an early read sees what a late one would. Only a
    // lock held by a process to be stopped could differ: what could not be opened is opened again.
    apps::internal::EarlyValidation stagedValidation(context.stagedClientPath, context.zipPath, false);
    stagedValidation.finishReading();
    steps.setSuiteUnavailable();
    code = internal::destageUpdate(context, steps, stagedValidation);
    if (code != kDestageSuccess) {
        KVX_LOG_ERROR("Failed to destage update, code[{}]", code);
        return code;
    }
    KVX_LOG_INFO("Successfully swapped staged/client folders, update has been applied");
    // Nothing from here on changes the result.
    steps.updateUninstallStrings();
    steps.updateUninstallEntries();
    if (options.mode != Mode::Flint && !internal::isStoredFlintUpdate(options)) {
        steps.createDesktopShortcut(options);
        steps.createStartMenuShortcuts();
    }
    steps.createAppRecoveryShortcut(context);
    return kDestageSuccess;
}

}  // namespace kvx::apps::destager
