#pragma once
// The Windows side of configuration loading: developer files on disk, the app key's Flint switch,
// the developer certificate and the client's error box.

#include <functional>

#include "framework/config/ConfigPlatform.h"
#include "framework/config/ResourceManager.h"

namespace kvx::apps {

// `resources` must outlive the platform (it carries the developer certificates). machine.ini is
// read only when `machineSettingsTrusted` is empty or answers true.
ConfigPlatform makeWindowsConfigPlatform(const resources::ResourceManager& resources,
                                         std::function<bool()> machineSettingsTrusted = {});

// HKLM "Software\Tessory\Korv Desktop" value "FlintMode" (64-bit view) is non-zero.
bool readFlintModeFromRegistry();

// The container's developer root ":/certs/ca.crt" is in the machine's ROOT store, or Windows
// validates the chain ":/certs/debug.crt" -> "debug-intermediate.crt" -> "ca.crt". DER files.
bool developerCertificateTrusted(const resources::ResourceManager& resources);

}  // namespace kvx::apps
