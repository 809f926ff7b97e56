#pragma once
// The suite's game catalog extension for the Xbox app: the connector registered as a local COM
// server, and its installation state for the machine and every logged-on user.

#include <string>
#include <string_view>

#include "foundation/Result.h"
#include "integration/RegistrationTexts.h"

namespace kvx::services::comInstall {

using apps::suite::InstallationState;

inline constexpr const char* kExtensionClsid = "3C7A41E2-5B90-4D1F-8E26-A9D0F4B1C837";
inline constexpr const char* kExtensionName = "KorvConnect Extension";
inline constexpr const char* kStoreProductId = "QZ7KD2M4WNT8HR";
inline constexpr const char* kStateKeyPath =
    "SOFTWARE\\Microsoft\\Xbox\\GamingApp\\Extensions\\Data\\QZ7KD2M4WNT8HR";

// Registers the connector of the live client folder and sets the state to Installed.
Result<void, std::string> installComServer();
// Sets the state to Updating.
Result<void, std::string> disableComServer();
// The machine's state, then that of the user of every running "Explorer.exe".
Result<std::string, std::string> setInstallationState(InstallationState state);
Result<void, std::string> setInstallationStateForUser(InstallationState state, std::string_view userSid);

}  // namespace kvx::services::comInstall
