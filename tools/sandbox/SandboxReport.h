#pragma once
// A plain-text account of a sandbox install: which client version lies where, the service, the
// running suite programs, the programs the destager relaunched, machine.ini and the loop counters.

#include <string>

#include "SandboxLayout.h"

namespace kvx::sandbox {

std::string formatReport(const SandboxLayout& layout);

// Sections of the report, also used on their own.
std::string formatFolders(const SandboxLayout& layout);
std::string formatServiceAndPrograms();
// Each start of the new client or launch helper: its process id and command line.
std::string formatRelaunches(const SandboxLayout& layout);
std::string formatMachineIni();
std::string formatRegistry();

}  // namespace kvx::sandbox
