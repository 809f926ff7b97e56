#pragma once
// The suite simulator's programs as stand-ins for suite processes, and the configuration store.

#include <windows.h>

#include <filesystem>
#include <string>

#include "foundation/Singleton.h"
#include "foundation/win/AutoHandle.h"
#include "framework/config/ConfigSystem.h"

namespace kvx::test {

// Programs beside this test executable and of the suite simulator (<build>/suite-sim), copied.
std::filesystem::path helperPath(const wchar_t* fileName);
std::filesystem::path simPath(const wchar_t* fileName);
void copySimProgram(const std::filesystem::path& target);
std::string utf8(const std::filesystem::path& path);

// "<prefix>-<pid>-<n><suffix>": a name of this test alone, so nothing else is stopped by it.
std::wstring uniqueName(const wchar_t* prefix, const wchar_t* suffix = L"");

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

// A simulated program ends by itself after a minute, so a test that fails to stop it leaves nothing.
Child startChild(const std::filesystem::path& exe, const std::wstring& arguments = L"",
                 SECURITY_ATTRIBUTES* processSecurity = nullptr);

// The configuration store for the test's lifetime.
struct ScopedConfig {
    ScopedConfig() { foundation::utils::Singleton<config::ConfigSystem>::create(); }
    ~ScopedConfig() { foundation::utils::Singleton<config::ConfigSystem>::destroy(); }
    void set(std::string_view key, std::string value) const {
        config::configSystem().set(config::Store::Ordinary, key, std::move(value), config::kScopeStatic);
    }
};

}  // namespace kvx::test
