#pragma once
// Loads system DLLs from System32 only. The destager runs elevated from a folder that an
// unelevated program wrote, so a DLL of the same name planted beside it must never be picked up;
// that is why anything beyond the KnownDLLs is loaded here at run time instead of being imported.

#include <windows.h>

#include <string>
#include <utility>

#include "foundation/Result.h"
#include "foundation/win/UniqueHandle.h"

namespace kvx::foundation {

struct SystemLibraryError {
    std::string name;  // the DLL, or "dll!function"
    DWORD osError;
};

struct LibraryTraits {
    using Type = HMODULE;
    static Type invalid() { return nullptr; }
    static bool isValid(Type module) { return module != nullptr; }
    static void close(Type module) { FreeLibrary(module); }
};

class SystemLibrary {
public:
    static Result<SystemLibrary, SystemLibraryError> load(const wchar_t* dllName);

    SystemLibrary(SystemLibrary&& other) noexcept = default;
    SystemLibrary& operator=(SystemLibrary&& other) noexcept = default;

    template <typename Fn>
    Result<Fn*, SystemLibraryError> function(const char* name) const {
        FARPROC proc = GetProcAddress(mModule.get(), name);
        if (proc == nullptr) {
            return Err{SystemLibraryError{mName + "!" + name, GetLastError()}};
        }
        return Ok{reinterpret_cast<Fn*>(reinterpret_cast<void*>(proc))};
    }

    HMODULE handle() const { return mModule.get(); }

private:
    SystemLibrary(HMODULE module, std::string name) : mModule(module), mName(std::move(name)) {}

    WinUtils::UniqueHandle<LibraryTraits> mModule;
    std::string mName;
};

// Restricts the process's own DLL search to System32; the first thing an entry point does.
bool restrictDllSearchToSystem32();

}  // namespace kvx::foundation
