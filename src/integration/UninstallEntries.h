#pragma once
// The suite's Windows uninstall entries, refreshed after a successful update.

#include <functional>
#include <string>
#include <string_view>

namespace kvx::apps::suite {

inline constexpr const char* kUninstallPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr const char* kProductId = "{6B1D0C44-27E9-4F0A-9C35-80A2D1E47B19}";

// The suite's subkey of the Uninstall key (UTF-8), searched for and remembered in the app key
// when the remembered one is wrong; empty when the suite has no entry.
std::string getInstalledBundleId();

// Points the uninstall commands of the suite's bundle entry at the suite's own uninstaller; the
// installer's commands are saved once in the app key.
void updateUninstallStrings();
void updateUninstallStringValue(std::string_view bundleId, std::string_view valueName,
                                std::string_view savedValueName, std::string_view arguments);

// What an entry could not be given; the update reports it as error telemetry.
enum class UninstallEntryError { KeyNotFound, RegistryPerms };
using UninstallEntryErrorReport = std::function<void(UninstallEntryError error, const std::string& message)>;

// Writes the display name ("Korv app") and version values of the suite's two uninstall entries.
void updateUninstallEntries(const UninstallEntryErrorReport& report);

}  // namespace kvx::apps::suite
