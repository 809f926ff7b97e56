#pragma once
// Helpers of the process tests: the helper programs beside the test executable, child processes,
// services of a test's own and the configuration store.

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "foundation/win/AutoHandle.h"
#include "process/Win32Service.h"
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

// A service registered under a unique name ("<prefix>-<pid>-<n>") and started; whatever is left of it
// is ended and deleted at the end. `image` makes the command line from the name. Waits are real, in
// short kernel waits: the service process runs on its own.
class ServiceUnderTest {
public:
    ServiceUnderTest(const char* prefix, const std::function<std::wstring(const std::wstring&)>& image,
                     DWORD awaitedState = SERVICE_RUNNING);
    ~ServiceUnderTest();
    const std::string& name() const { return mService.utf8Name(); }
    SERVICE_STATUS_PROCESS status() const;
    DWORD state() const { return status().dwCurrentState; }
    // True once the service reports `state` (ten seconds at most).
    bool awaitState(DWORD state) const;

private:
    services::platform::Win32Service mService;
    bool mCreated = false;
};

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
