#pragma once
// The suite's Windows uninstall entries, refreshed after a successful update.

namespace kvx::apps::suite {

// Points the uninstall commands of the suite's bundle entry at the suite's own uninstaller.
void updateUninstallStrings();
// Writes the display name ("Korv app") and version values of the suite's two uninstall entries.
void updateUninstallEntries();

}  // namespace kvx::apps::suite
