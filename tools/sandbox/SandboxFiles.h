#pragma once
// The files of a sandbox install: the simulated suite as the old client, the same programs as the
// new client in the staged folder (with the built destager), and the archive of the staged client.

#include <filesystem>
#include <string>
#include <vector>

#include "SandboxLayout.h"
#include "VersionStamp.h"
#include "foundation/Result.h"

namespace kvx::sandbox {

// The suite programs the simulator is built as, and the DLL the simulated client keeps loaded.
const std::vector<std::wstring>& simulatedPrograms();
inline constexpr const wchar_t* kSimModuleName = L"KorvSimModule.dll";
inline constexpr const wchar_t* kVersionFileName = L"version.txt";

// Fills `folder` (created) with one version of the client: the simulated programs, the client's
// version resource and a version file, and a resource file below a subfolder.
Result<void, std::string> writeClientFolder(const std::filesystem::path& folder, const SandboxSources& sources,
                                            const FileVersion& version);

// The programs the destager relaunches (the client and the launch helper) append each start of
// theirs from `folder` to `record`: set on the staged client, only starts after the swap count.
Result<void, std::string> recordRelaunchesFrom(const std::filesystem::path& folder, const std::filesystem::path& record);
inline constexpr const wchar_t* kStartsFileName = L"program-starts.txt";

// Copies the built destager and its resource file into `folder`.
Result<void, std::string> copyDestager(const std::filesystem::path& folder, const SandboxSources& sources);

// The archive of the staged client, entries named "Korv Desktop/<file>".
Result<void, std::string> writeStagedArchive(const SandboxLayout& layout);

// Number of files below `folder`, or -1 when it cannot be listed.
int countFiles(const std::filesystem::path& folder);

}  // namespace kvx::sandbox
