#include "MachineFiles.h"

#include <windows.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cctype>
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

std::optional<std::string> readMachineIniText() { return readMachineIniText(machineIniPath()); }

std::optional<std::string> readMachineIniText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>{});
    if (in.bad()) {
        return std::nullopt;
    }
    return text;
}

std::optional<MachineKeys> readMachineKeys() { return readMachineKeys(machineIniPath()); }

std::optional<MachineKeys> readMachineKeys(const std::filesystem::path& file) {
    const std::optional<std::string> text = readMachineIniText(file);
    if (!text) {
        return std::nullopt;
    }
    KVPs pairs;
    pairs.addFromString(*text, "=", "\n", true);
    MachineKeys keys;
    for (const auto& [key, value] : pairs) {
        // The configuration store reads keys in any case; the destager itself writes them lower-cased.
        std::string lower = key;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        if (lower.rfind("machine.", 0) == 0) {
            keys.emplace_back(std::move(lower), value);
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

namespace {

// "5f0c...-...": the form the client's telemetry ids take.
std::string newCorrelationId() {
    GUID guid{};
    wchar_t text[40] = {};
    if (FAILED(CoCreateGuid(&guid)) || StringFromGUID2(guid, text, 40) == 0) {
        return "00000000-0000-0000-0000-000000000001";
    }
    std::string id;
    for (const wchar_t* c = text; *c != L'\0'; ++c) {
        if (*c != L'{' && *c != L'}') {
            id += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        }
    }
    return id;
}

}  // namespace

bool prepareMachineIniAsClient() {
    std::error_code error;
    std::filesystem::create_directories(commonDataFolder(), error);
    std::ofstream out(machineIniPath(), std::ios::binary | std::ios::trunc);
    out << "machine.updatepending=1\nmachine.telemetry.updatecorrelationid=" << newCorrelationId()
        << "\nmachine.updateattemptcount=1";
    out.close();
    return !error && static_cast<bool>(out);
}

}  // namespace kvx::sandbox
