#pragma once
// The registry an installer leaves behind: the application key's values in both views, the two
// Windows Uninstall entries, the URL protocols and the legacy client keys; and all of it removed
// again. The broken installs support meets are variations of it.

#include <filesystem>
#include <string>

#include "VersionStamp.h"

namespace kvx::sandbox {

// The bundle entry's key name under the Windows Uninstall key (32-bit view).
inline constexpr const char* kBundleId = "{3F1C2A77-8E0B-4C59-A1D4-5B7E9C2F6A10}";
// The bundle id of an earlier install, whose entry is gone: what a reinstall leaves behind.
inline constexpr const char* kStaleBundleId = "{9D04E6B2-1A7C-4F38-B5E0-C2D7F18A3E45}";
// The uninstall command the installer writes into the bundle entry.
inline constexpr const char* kInstallerUninstallCommand =
    "\"C:\\ProgramData\\Tessory\\Setup\\KorvSetup.exe\" /uninstall";
inline constexpr const char* kInstallerQuietUninstallCommand =
    "\"C:\\ProgramData\\Tessory\\Setup\\KorvSetup.exe\" /uninstall /quiet";

struct InstallerRegistryOptions {
    FileVersion version;
    bool uninstallEntries = true;
    // "BundleProviderKey" names the stale bundle id rather than the entry's.
    bool staleBundleKey = false;
};

// Writes everything in both views where the suite keeps it so; false when a write failed
// (administrator rights needed).
bool writeInstallerRegistry(const std::filesystem::path& installRoot,
                            const InstallerRegistryOptions& options);

// Deletes the Uninstall entries, the protocol and legacy keys and the application key.
void removeInstallerRegistry();

}  // namespace kvx::sandbox
