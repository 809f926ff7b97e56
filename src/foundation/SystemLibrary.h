#pragma once
// Loads system DLLs from System32 only. The destager runs elevated from a folder that an
// unelevated program wrote, so a DLL of the same name planted beside it must never be picked up;
// that is why anything beyond the KnownDLLs is loaded here at run time instead of being imported.

#include <windows.h>

#include <string>
#include <utility>

#include "foundation/Result.h"

namespace kvx::foundation {

struct SystemLibraryError {
    std::string name;  // the DLL, or "dll!function"
    DWORD osError;
};

class SystemLibrary {
public:
    static Result<SystemLibrary, SystemLibraryError> load(const wchar_t* dllName);

    SystemLibrary(SystemLibrary&& other) noexcept
        : mModule(std::exchange(other.mModule, nullptr)), mName(std::move(other.mName)) {}
    SystemLibrary& operator=(SystemLibrary&& other) noexcept;
    SystemLibrary(const SystemLibrary&) = delete;
    SystemLibrary& operator=(const SystemLibrary&) = delete;
    ~SystemLibrary();

    template <typename Fn>
    Result<Fn*, SystemLibraryError> function(const char* name) const {
        FARPROC proc = GetProcAddress(mModule, name);
        if (proc == nullptr) {
            return Err{SystemLibraryError{mName + "!" + name, GetLastError()}};
        }
        return Ok{reinterpret_cast<Fn*>(reinterpret_cast<void*>(proc))};
    }

    HMODULE handle() const { return mModule; }

private:
    SystemLibrary(HMODULE module, std::string name) : mModule(module), mName(std::move(name)) {}

    HMODULE mModule;
    std::string mName;
};

// Restricts the process's own DLL search to System32; the first thing an entry point does.
bool restrictDllSearchToSystem32();

}  // namespace kvx::foundation
