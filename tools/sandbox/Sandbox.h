#pragma once
// A whole sandbox install in one call each way: files, archive, registry, the running service and
// suite programs; and everything removed again.

#include <string>
#include <vector>

#include "SandboxLayout.h"
#include "VersionStamp.h"
#include "foundation/Result.h"

namespace kvx::sandbox {

struct SetupOptions {
    SandboxSources sources;
    FileVersion oldVersion{13, 695, 0, 6100};
    FileVersion newVersion{13, 696, 0, 6209};
    // False leaves the staged folder without a destager (before one is built).
    bool withDestager = true;
    // The installer registers the service; false leaves the registration out, as if deleted.
    bool registerService = true;
    // Started and left running (never when the client folder is gone).
    bool startService = true;
    // Started from the client folder, in this order, and left running.
    std::vector<std::wstring> programs{L"KorvDesktop.exe", L"KorvLauncher.exe", L"KorvLaunchHelper.exe"};

    // The broken installs support meets; all false is a clean install.
    // Neither Windows Uninstall entry exists.
    bool noUninstallEntry = false;
    // "BundleProviderKey" names the entry of an earlier install, which is gone.
    bool staleBundleKey = false;
    // The client folder is gone: the service stays registered but stopped, no program runs.
    bool noClientFolder = false;
    // Another destager holds the update-in-progress event until teardown.
    bool destagerRunning = false;
};

// The version the staged update carries by default: the destager's own build version.
FileVersion buildFileVersion();

// Files, the installer's registry, machine.ini as the client prepares it, the service and the
// programs. Refuses an install root that already has content.
Result<void, std::string> setupSandbox(const SandboxLayout& layout, const SetupOptions& options);

// The install folder with the staged update and archive, without registry, service or programs.
Result<void, std::string> writeSandboxFiles(const SandboxLayout& layout, const SetupOptions& options);
// The staged client (with the destager) and its archive, as the client stages an update; also
// again after a run that moved them.
Result<void, std::string> writeStagedUpdate(const SandboxLayout& layout, const SetupOptions& options);

// Releases a holder of the update-in-progress event, removes the service, ends the programs below
// the install root, deletes the install root and the installer's registry; every step is tried,
// the failures are returned together.
Result<void, std::string> teardownSandbox(const SandboxLayout& layout);

// The client version in `folder`: the file version of its "KorvDesktop.exe", "" when it has none.
std::string clientVersionIn(const std::filesystem::path& folder);

// The outdated client folders ("outdatedKorvDesktop-<digits>") below the install root, sorted.
std::vector<std::filesystem::path> outdatedFolders(const SandboxLayout& layout);

}  // namespace kvx::sandbox
