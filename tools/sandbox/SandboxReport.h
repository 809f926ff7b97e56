#pragma once
// A plain-text account of a sandbox install: which client version lies where, the service, the
// running suite programs, the programs the destager relaunched, machine.ini, the loop counters and
// the shortcuts.

#include <filesystem>
#include <string>
#include <string_view>

#include "SandboxLayout.h"
#include "foundation/Result.h"

namespace kvx::sandbox {

std::string formatReport(const SandboxLayout& layout);

// Sections of the report, also used on their own.
std::string formatFolders(const SandboxLayout& layout);
std::string formatServiceAndPrograms();
// Each start of the new client or launch helper: its process id and command line.
std::string formatRelaunches(const SandboxLayout& layout);
std::string formatMachineIni();
std::string formatRegistry();

// The records of "machine.destageErrors", one line each in plain words, oldest first; with
// `context`, each followed by a line with the versions, attempt and correlation id.
std::string formatErrorRecords(std::string_view value, bool context);
// The error records of any machine.ini (only read), or why the file could not be read.
Result<std::string, std::string> formatMachineIniErrors(const std::filesystem::path& file);

}  // namespace kvx::sandbox
