#pragma once
// The texts the suite's registration with Windows is made of: protocol and legacy command lines,
// uninstall commands, the recognised uninstall display names and the extension's state names.
// Portable, so the formats are checked on every build.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kvx::apps::suite {

// One URL protocol of the suite and where its executable's path is kept in the app key.
struct ProtocolRow {
    const char* protocol;
    const char* description;
    const char* executable;
    const char* appKeyValue;
    const char* missingMessage;  // logged when the executable cannot be found
    bool forwardsAllParameters;  // "%1" to "%9" rather than "%1" alone
};

// In the order the protocols are repaired (and blanked, see protocolCommandKey).
const std::array<ProtocolRow, 5>& protocolTable();
// "<protocol>\shell\open\command".
std::string protocolCommandKey(std::string_view protocol);
// The quoted executable path followed by the quoted parameter placeholders.
std::string protocolCommand(const ProtocolRow& row, std::string_view exePath);
// The legacy clients' form: the launcher path unquoted, then " \"%1\"".
std::string legacyProtocolCommand(std::string_view launcherPath);

// "\"<uninstaller>\" <arguments>".
std::string uninstallCommand(std::string_view uninstallerPath, std::string_view arguments);
// "Pellam Beta", "Korv Desktop" or "Korv app", compared exactly.
bool isSuiteDisplayName(std::string_view displayName);

// The game catalog extension's installation states.
enum class InstallationState : uint32_t { Uninstalled = 0, Installed = 1, Updating = 2, Uninitialized = 3 };
// Empty for a value outside the enumeration.
std::string_view installationStateName(InstallationState state);

}  // namespace kvx::apps::suite
