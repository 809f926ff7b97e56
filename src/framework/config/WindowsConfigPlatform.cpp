#include "framework/config/WindowsConfigPlatform.h"

#include <windows.h>

#include <string>

#include "foundation/TextConversion.h"
#include "foundation/fs/FileFunctions.h"
#include "foundation/fs/Path.h"
#include "framework/settings/MachineSettings.h"

namespace kvx::apps {
namespace {

// Configuration files are small; the limit only guards against reading something absurd.
constexpr uint64_t kMaxConfigFileSize = 64ull * 1024 * 1024;

Result<std::string, std::string> readWholeFile(const std::string& path) {
    auto bytes = foundation::file::readFile(fs::Path::fromUtf8(path), kMaxConfigFileSize);
    if (bytes.isError()) {
        return Err{bytes.peekError().toString()};
    }
    const auto& data = bytes.peek();
    return Ok{std::string(data.begin(), data.end())};
}

bool fileExists(const std::string& path) {
    return GetFileAttributesW(fs::Path::fromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string executableName() {
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()))) == buffer.size()) {
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(length);
    return fs::Path(buffer).filename().utf8();
}

void showErrorBox(const std::string& text, const std::string& title) {
    const std::wstring wideText = foundation::widen(text, KVX_SOURCE_LOCATION);
    const std::wstring wideTitle = foundation::widen(title, KVX_SOURCE_LOCATION);
    MessageBoxW(nullptr, wideText.c_str(), wideTitle.c_str(), MB_OK | MB_ICONWARNING);
}

}  // namespace

ConfigPlatform makeWindowsConfigPlatform(const resources::ResourceManager& resources,
                                         std::function<bool()> machineSettingsTrusted) {
    ConfigPlatform platform;
    platform.readFile = readWholeFile;
    platform.fileExists = fileExists;
    platform.executableName = executableName;
    platform.showErrorBox = showErrorBox;
    platform.flintModeRequestedByMachine = readFlintModeFromRegistry;
    platform.loadMachineSettings = [trusted = std::move(machineSettingsTrusted)] {
        domain::settings::machine::loadMachineSettingsToConfigSys(!trusted || trusted());
    };
    platform.developerCertificateTrusted = [&resources] { return developerCertificateTrusted(resources); };
    return platform;
}

}  // namespace kvx::apps
