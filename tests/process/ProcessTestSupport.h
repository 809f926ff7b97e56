#pragma once
// Helpers of the process tests: the helper programs beside the test executable, child processes
// and the configuration store.

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/win/AutoHandle.h"
#include "support/TempFolder.h"

namespace kvx::test {

// A helper program or DLL built beside this test executable.
std::filesystem::path helperPath(const wchar_t* fileName);

// Copies the idle helper to `target` (creating its folder).
void copyIdleProgram(const std::filesystem::path& target);

struct Child {
    WinUtils::AutoHandle process;
    DWORD pid = 0;
};

// Starts `exe` with `arguments`; the process handle has every right.
Child startChild(const std::filesystem::path& exe, const std::wstring& arguments = L"",
                 SECURITY_ATTRIBUTES* processSecurity = nullptr);

// Kills what a test left running.
void killChild(Child& child);

// The exit code, or STILL_ACTIVE.
DWORD exitCodeOf(const Child& child);

// Creates the configuration store for the test's lifetime.
class ScopedConfig {
public:
    ScopedConfig();
    ~ScopedConfig();
};

// Sets the application key's "InstallLocation" (64-bit view) for the test's lifetime.
class ScopedInstallLocation {
public:
    explicit ScopedInstallLocation(const std::wstring& location);
    ~ScopedInstallLocation();
};

}  // namespace kvx::test
