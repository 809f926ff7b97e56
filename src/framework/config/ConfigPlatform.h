#pragma once
// What configuration loading needs from the machine. The Windows build fills it
// (makeWindowsConfigPlatform); tests replace each piece. A piece left empty does nothing and
// never reports success: reads fail, files do not exist, no mode is requested.

#include <functional>
#include <string>

#include "foundation/Result.h"

namespace kvx::apps {

inline constexpr const char* kDeveloperFolder = "C:\\KorvDesktopDev\\";

struct ConfigPlatform {
    // Every developer file lies directly in this folder (ends with a separator).
    std::string developerFolder = kDeveloperFolder;
    // The whole file, or the stream's error text.
    std::function<Result<std::string, std::string>(const std::string& path)> readFile;
    std::function<bool(const std::string& path)> fileExists;
    // File name of the running executable, e.g. "KorvDestager.exe".
    std::function<std::string()> executableName;
    // A modal error box; only the client's executable shows one.
    std::function<void(const std::string& text, const std::string& title)> showErrorBox;
    // The machine-wide Flint switch ("FlintMode" of the app key).
    std::function<bool()> flintModeRequestedByMachine;
    // Brings machine.ini into the configuration (machine scope).
    std::function<void()> loadMachineSettings;
    // The developer root certificate is trusted by this machine.
    std::function<bool()> developerCertificateTrusted;
};

}  // namespace kvx::apps
