#include "integration/RegistrationTexts.h"

#include <fmt/format.h>

namespace kvx::apps::suite {

const std::array<ProtocolRow, 5>& protocolTable() {
    static const std::array<ProtocolRow, 5> table{{
        {"korvconnect.microsoft", "URL:KorvConnect (Microsoft) Protocol", "KorvConnect_microsoft.exe",
         "KorvConnectMsAppPath",
         "Korv Connect Microsoft path key is not present and couldn't be found "
         "(installer may not have been run)",
         false},
        {"link2korv", "URL:Link2Korv Protocol", "Link2Korv.exe", "KorvConnectLink2KorvAppPath",
         "Link2Korv path key is not present and couldn't be found (installer may not have been run)", true},
        {"steam2korv", "URL:Steam2Korv Protocol", "Link2Korv.exe", "KorvConnectLink2KorvAppPath",
         "Steam2Korv path key is not present and couldn't be found (installer may not have been run)", true},
        {"epic2korv", "URL:Epic2Korv Protocol", "Link2Korv.exe", "KorvConnectLink2KorvAppPath",
         "Epic2Korv path key is not present and couldn't be found (installer may not have been run)", true},
        {"luna2korv", "URL:Luna2Korv Protocol", "Link2Korv.exe", "KorvConnectLink2KorvAppPath",
         "Luna2Korv path key is not present and couldn't be found (installer may not have been run)", true},
    }};
    return table;
}

std::string protocolCommandKey(std::string_view protocol) {
    return fmt::format("{}\\shell\\open\\command", protocol);
}

std::string protocolCommand(const ProtocolRow& row, std::string_view exePath) {
    if (!row.forwardsAllParameters) {
        return fmt::format("\"{}\" \"%1\"", exePath);
    }
    return fmt::format("\"{}\" \"%1\" \"%2\" \"%3\" \"%4\" \"%5\" \"%6\" \"%7\" \"%8\" \"%9\"", exePath);
}

std::string legacyProtocolCommand(std::string_view launcherPath) {
    return fmt::format("{} \"%1\"", launcherPath);
}

std::string uninstallCommand(std::string_view uninstallerPath, std::string_view arguments) {
    return fmt::format("\"{}\" {}", uninstallerPath, arguments);
}

bool isSuiteDisplayName(std::string_view displayName) {
    return displayName == "Pellam Beta" || displayName == "Korv Desktop" || displayName == "Korv app";
}

std::string_view installationStateName(InstallationState state) {
    switch (state) {
        case InstallationState::Uninstalled:
            return "Uninstalled";
        case InstallationState::Installed:
            return "Installed";
        case InstallationState::Updating:
            return "Updating";
        case InstallationState::Uninitialized:
            return "Uninitialized";
    }
    return "";
}

}  // namespace kvx::apps::suite
