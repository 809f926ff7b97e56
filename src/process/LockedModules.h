#pragma once
// Naming the process that holds a folder's executables or DLLs, for the report of a folder
// operation that has already failed. Every failure here just means "no report".

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "process/ProcessUtils.h"
#include "process/RestartManager.h"

namespace kvx::services::process {

// "*.dll" and "*.exe".
const std::vector<std::string>& modulePatterns();

// The files of `folder` (not its subfolders) matching `patterns`, and who holds them.
std::optional<LockReport> findLockedModule(const std::string& folder, const std::vector<std::string>& patterns);

// The Restart Manager query with the holder walk; `names` resolves names the Restart Manager lacks.
void getProcessLockingFiles(IRestartManager& restartManager, ProcessUtils& names, const std::vector<std::string>& files,
                            bool checkModules, std::optional<LockReport>& report);

// The entries of `files` that the process has loaded as modules.
std::set<std::string> checkProcessForLoadedModules(uint32_t pid, const std::vector<std::string>& files);

// The entries of `files` that cannot be opened for exclusive access (named as in the list, so that
// a module found both loaded and held appears once).
std::set<std::string> getUnopenableFiles(const std::vector<std::string>& files);

// Polls (on the clock) until a process with that image path runs or is gone; a poll interval of 0
// or one longer than the time-out becomes 10 ms.
bool waitForProcess(const std::wstring& exePath, WaitCondition condition, int64_t timeoutMs, int64_t pollMs);

}  // namespace kvx::services::process
