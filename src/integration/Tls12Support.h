#pragma once
// Secure web requests of this process and of the HTTP stacks it uses must be able to speak TLS 1.2;
// Windows before 8.1 has it switched off by default.

#include <windows.h>

#include <functional>

namespace kvx::apps::utils {

struct Tls12Environment {
    // Empty: asks Windows whether it is 8.1 (6.3 SP0) or later.
    std::function<bool()> isWindows81OrLater;
    // The root below which the settings are written. Empty: HKEY_LOCAL_MACHINE for an
    // administrator, HKEY_CURRENT_USER otherwise.
    std::function<HKEY()> settingsRoot;
};

// On Windows 8.1 and later: nothing. Before: sets the TLS 1.2 bit of "SecureProtocols" and of
// WinHttp's "DefaultSecureProtocols", and enables the SCHANNEL TLS 1.2 client, each only when needed.
void enableTls12ClientSupport();
void enableTls12ClientSupport(const Tls12Environment& environment);

}  // namespace kvx::apps::utils
