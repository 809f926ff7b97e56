#pragma once
// The simulated suite's running programs: started from the client folder, listed, and ended.

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/Result.h"

namespace kvx::sandbox {

struct RunningProgram {
    DWORD pid = 0;
    std::wstring name;
    std::wstring path;  // empty when the image path cannot be read
};

// Starts `exe` in its own folder with `arguments`, inheriting nothing, and returns its id; the
// program outlives the caller. Detached, so that under Wine it does not hold the caller's
// standard output open either.
Result<DWORD, std::string> startProgram(const std::filesystem::path& exe, const std::wstring& arguments = L"");

// Starts Wine's desktop shell unless it already answers, as a signed-in user's session has it:
// the destager relaunches the client through it. An error when it does not answer in time.
Result<void, std::string> ensureDesktopShell();

// Every running program with a suite name (the simulated ones and the destager).
std::vector<RunningProgram> runningSuitePrograms();

// Ends every program whose image lies below `folder`, waiting for each; returns how many.
int endProgramsBelow(const std::filesystem::path& folder);

// True when `path` lies below `folder` (ASCII case ignored, "\" and "/" alike).
bool isBelow(const std::filesystem::path& folder, const std::wstring& path);

}  // namespace kvx::sandbox
