#pragma once
// Helpers of the process tests: the suite simulator's programs as stand-ins for suite processes,
// child processes, services of a test's own and the configuration store.

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>

#include "foundation/win/AutoHandle.h"
#include "process/Win32Service.h"

namespace kvx::test {

// A helper program built beside this test executable, and a file of the suite simulator, built
// into <build>/suite-sim.
std::filesystem::path helperPath(const wchar_t* fileName);
std::filesystem::path simPath(const wchar_t* fileName);

// Copies a simulated suite program to `target` (creating its folder).
void copySimProgram(const std::filesystem::path& target);

// A started program, ended (if still running) when destroyed.
struct Child {
    WinUtils::AutoHandle process;
    DWORD pid = 0;
    Child(WinUtils::AutoHandle handle, DWORD id) : process(std::move(handle)), pid(id) {}
    Child(Child&&) = default;
    ~Child() { kill(); }
    void kill();
    DWORD exitCode() const;  // STILL_ACTIVE while it runs
};

// Starts `exe` with `arguments`; the handle has every right. A simulated program ends by itself
// after a minute, so a test that fails to stop it leaves nothing behind for long.
Child startChild(const std::filesystem::path& exe, const std::wstring& arguments = L"",
                 SECURITY_ATTRIBUTES* processSecurity = nullptr);

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
struct ScopedConfig {
    ScopedConfig();
    ~ScopedConfig();
};

}  // namespace kvx::test
