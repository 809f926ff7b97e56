#pragma once
// What the destager leaves in the common application data folder: machine.ini, which tells the
// client the result of the last destage, and the main log.

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kvx::sandbox {

// <ProgramData>\Korv Desktop; empty when the known folder cannot be resolved.
std::filesystem::path commonDataFolder();
std::filesystem::path machineIniPath();
std::filesystem::path destagerLogPath();

using MachineKeys = std::vector<std::pair<std::string, std::string>>;

// The file's "machine." pairs, keys lower-cased and sorted; nothing when the file cannot be read.
std::optional<MachineKeys> readMachineKeys();
// The same for any machine.ini, such as one a player sent in.
std::optional<MachineKeys> readMachineKeys(const std::filesystem::path& file);
// The value of `key` (lower case), or nothing.
std::optional<std::string> machineValue(const MachineKeys& keys, const std::string& key);

// The whole file, or nothing when it does not exist or cannot be read.
std::optional<std::string> readMachineIniText();
std::optional<std::string> readMachineIniText(const std::filesystem::path& file);
void removeMachineIni();

// machine.ini as the client writes it just before it starts the destager: the update pending, a
// fresh correlation id and the first attempt. The folder is created as the installer does.
bool prepareMachineIniAsClient();

}  // namespace kvx::sandbox
