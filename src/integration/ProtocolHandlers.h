#pragma once
// Writes the suite's URL-protocol command lines and the legacy client keys back, pointing at the
// executables of the current install.

#include <string>
#include <string_view>

namespace kvx::systemUtils {

// True when every step succeeded.
bool overwriteProtocolAndSdkPaths();

// The executable's path from the app key value, repaired from the install location when missing;
// UTF-8, empty when unknown.
std::string getProtocolAppPath(std::string_view appKeyValue, std::string_view executable);
// Writes the protocol key only when something differs; true when it is right afterwards.
bool registerProtocol(std::string_view protocol, std::string_view description, std::string_view command);

bool overwritePellamRegistryKeys();
bool updateKorvConnectRegistryKeys();
bool updateLink2KorvRegistryKeys();
bool updateSteam2KorvRegistryKeys();
bool updateEpic2KorvRegistryKeys();
bool updateLuna2KorvRegistryKeys();

}  // namespace kvx::systemUtils
