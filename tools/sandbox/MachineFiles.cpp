#include "MachineFiles.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "foundation/win/SystemMemory.h"
#include "framework/config/KVPs.h"

namespace kvx::sandbox {

std::filesystem::path commonDataFolder() {
    wchar_t* raw = nullptr;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &raw);
    const WinUtils::UniqueCoTaskMemory<wchar_t*> folder(raw);
    if (FAILED(result) || !folder) {
        return {};
    }
    return std::filesystem::path(folder.get()) / L"Korv Desktop";
}

std::filesystem::path machineIniPath() { return commonDataFolder() / L"machine.ini"; }

std::filesystem::path destagerLogPath() { return commonDataFolder() / L"Logs" / L"KorvDestager.log"; }

std::optional<std::string> readMachineIniText() {
    std::ifstream in(machineIniPath(), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::optional<MachineKeys> readMachineKeys() {
    const std::optional<std::string> text = readMachineIniText();
    if (!text) {
        return std::nullopt;
    }
    KVPs pairs;
    pairs.addFromString(*text, "=", "\n", true);
    MachineKeys keys;
    for (const auto& [key, value] : pairs) {
        if (key.rfind("machine.", 0) == 0) {
            keys.emplace_back(key, value);
        }
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

std::optional<std::string> machineValue(const MachineKeys& keys, const std::string& key) {
    auto found = std::find_if(keys.begin(), keys.end(), [&](const auto& pair) { return pair.first == key; });
    return found == keys.end() ? std::nullopt : std::optional<std::string>(found->second);
}

void removeMachineIni() {
    std::error_code ignored;
    std::filesystem::remove(machineIniPath(), ignored);
}

}  // namespace kvx::sandbox
