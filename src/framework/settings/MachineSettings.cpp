#include "framework/settings/MachineSettings.h"

#include <span>
#include <string>

#include "foundation/Logging.h"
#include "foundation/fs/FileFunctions.h"
#include "foundation/fs/IFilesystem.h"
#include "foundation/paths/TamrinUtils.h"
#include "framework/config/ConfigSystem.h"

namespace kvx::domain::settings::machine {

namespace {

constexpr uint64_t kMaxMachineSettingsSize = 64ull * 1024 * 1024;
constexpr std::string_view kMachinePrefix = "machine.";
constexpr std::string_view kKeyValueJoint = "=";
constexpr std::string_view kPairsJoint = "\n";

fs::Path machineSettingsPath() { return fs::Path::fromUtf8(foundation::tamrinUtils().getMachineSettingsPath()); }

}  // namespace

KVPs loadMachineSettingsFromFile() {
    auto bytes = foundation::file::readFile(machineSettingsPath(), kMaxMachineSettingsSize);
    if (bytes.isError()) {
        KVX_LOG_AS("kvx::domain::settings::machine::loadMachineSettingsFromFile", services::logging::Error,
                   "Failed to load machine ini file, error[{}]", bytes.peekError().toString());
        return {};
    }
    const std::vector<uint8_t> content = bytes.unwrap();
    KVPs settings;
    settings.addFromString(std::string_view(reinterpret_cast<const char*>(content.data()), content.size()),
                           kKeyValueJoint, kPairsJoint, true);
    return settings;
}

void loadMachineSettingsToConfigSys(bool trusted) {
    constexpr const char* kFunction = "kvx::domain::settings::machine::loadMachineSettingsToConfigSys";
    if (!trusted) {
        // Never read: not even its size or its errors come from a user's file.
        const fs::Path path = machineSettingsPath();
        auto present = fs::filesystem().exists(path);
        if (present.isOk() && present.peek()) {
            KVX_LOG_AS(kFunction, services::logging::Warn,
                       "Ignoring [{}]: the data folder was never protected, so a user could have planted it",
                       path.utf8());
        }
    }
    const KVPs loaded = trusted ? loadMachineSettingsFromFile() : KVPs{};
    if (loaded.empty()) {
        KVX_LOG_AS(kFunction, services::logging::Info, "No machine settings are loaded");
        return;
    }
    // Byte comparison on purpose: "Machine.x" is not a machine setting.
    KVPs machineOnly;
    for (const auto& [key, value] : loaded) {
        if (key.starts_with(kMachinePrefix)) {
            machineOnly.set(key, value);
        }
    }
    config::configSystem().setBulk(machineOnly, config::kScopeMachine, false);
}

void saveMachineSettingsToFile(const KVPs& settings) {
    const std::string text = settings.toString(kKeyValueJoint, kPairsJoint);
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    auto written = foundation::file::writeFile(machineSettingsPath(), bytes);
    if (written.isError()) {
        const auto& error = written.peekError();
        KVX_LOG_AS("kvx::domain::settings::machine::saveMachineSettingsToFile", services::logging::Error,
                   "Failed to write machine.ini file, error[{}] attr=[{}]", error.error, error.attr);
        return;
    }
    KVX_LOG_AS("kvx::domain::settings::machine::saveMachineSettingsToFile", services::logging::Debug,
               "Successful write to machine.ini file");
}

uint32_t registerMachineSettingsWriteThrough() {
    // Runs inside the configuration's set, with its data lock held: the file is current when set returns.
    return config::configSystem().addChangeHandler(
        [](config::ConfigScope scope, const std::string&) {
            if (scope == config::kScopeMachine) {
                saveMachineSettingsToFile(config::configSystem().filterByScope(config::kScopeMachine));
            }
        },
        KVX_HANDLER_SOURCE);
}

}  // namespace kvx::domain::settings::machine
