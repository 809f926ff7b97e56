#include "foundation/SystemLibrary.h"

namespace kvx::foundation {
namespace {

std::string narrowName(const wchar_t* name) {
    // DLL names are ASCII; keep this free of the text-conversion layer.
    std::string out;
    for (; *name != L'\0'; ++name) {
        out.push_back(*name < 0x80 ? static_cast<char>(*name) : '?');
    }
    return out;
}

}  // namespace

Result<SystemLibrary, SystemLibraryError> SystemLibrary::load(const wchar_t* dllName) {
    HMODULE module = LoadLibraryExW(dllName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) {
        return Err{SystemLibraryError{narrowName(dllName), GetLastError()}};
    }
    return Ok{SystemLibrary(module, narrowName(dllName))};
}

bool restrictDllSearchToSystem32() {
    return SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

}  // namespace kvx::foundation
