#include "framework/errors/Win32StackSymbols.h"

#include <windows.h>

#include <dbghelp.h>

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <mutex>

#include "foundation/Logging.h"
#include "foundation/SystemLibrary.h"
#include "foundation/TextConversion.h"

namespace kvx::foundation {
namespace {

using SymSetOptionsFn = DWORD WINAPI(DWORD);
using SymInitializeWFn = BOOL WINAPI(HANDLE, PCWSTR, BOOL);
using SymCleanupFn = BOOL WINAPI(HANDLE);
using SymFromAddrFn = BOOL WINAPI(HANDLE, DWORD64, PDWORD64, PSYMBOL_INFO);

std::wstring executableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// Itanium-mangled names (this compiler's) are demangled; anything else is kept as it is.
std::string readableName(const char* name) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(name, nullptr, nullptr, &status), &std::free);
    return services::logging::reduceFunctionName(status == 0 && demangled ? demangled.get() : name);
}

class SymbolLookup {
public:
    static std::unique_ptr<SymbolLookup> open() {
        auto library = SystemLibrary::load(L"dbghelp.dll");
        if (library.isError()) {
            return nullptr;
        }
        auto lookup = std::unique_ptr<SymbolLookup>(new SymbolLookup(library.unwrap()));
        return lookup->start() ? std::move(lookup) : nullptr;
    }

    ~SymbolLookup() {
        if (mCleanup != nullptr) {
            mCleanup(GetCurrentProcess());
        }
    }

    std::optional<SymbolLocation> find(uint64_t address) const {
        alignas(SYMBOL_INFO) char buffer[sizeof(SYMBOL_INFO) + MAX_SYM_NAME] = {};
        auto* symbol = reinterpret_cast<SYMBOL_INFO*>(buffer);
        symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
        symbol->MaxNameLen = MAX_SYM_NAME;
        DWORD64 displacement = 0;
        if (!mFromAddr(GetCurrentProcess(), address, &displacement, symbol) || symbol->Name[0] == '\0') {
            return std::nullopt;
        }
        return SymbolLocation{readableName(symbol->Name), displacement};
    }

private:
    explicit SymbolLookup(SystemLibrary library) : mLibrary(std::move(library)) {}

    bool start() {
        auto setOptions = mLibrary.function<SymSetOptionsFn>("SymSetOptions");
        auto initialize = mLibrary.function<SymInitializeWFn>("SymInitializeW");
        auto cleanup = mLibrary.function<SymCleanupFn>("SymCleanup");
        auto fromAddr = mLibrary.function<SymFromAddrFn>("SymFromAddr");
        if (setOptions.isError() || initialize.isError() || cleanup.isError() || fromAddr.isError()) {
            return false;
        }
        setOptions.unwrap()(SYMOPT_DEFERRED_LOADS | SYMOPT_FAIL_CRITICAL_ERRORS | SYMOPT_NO_PROMPTS);
        if (!initialize.unwrap()(GetCurrentProcess(), executableFolder().c_str(), TRUE)) {
            return false;
        }
        mCleanup = cleanup.unwrap();
        mFromAddr = fromAddr.unwrap();
        return true;
    }

    SystemLibrary mLibrary;
    SymCleanupFn* mCleanup = nullptr;
    SymFromAddrFn* mFromAddr = nullptr;
};

// dbghelp is not thread-safe; every call goes through this lock.
std::mutex sSymbolMutex;
std::unique_ptr<SymbolLookup> sSymbols;

}  // namespace

CodeLocation locateModule(uint64_t address) {
    HMODULE module = nullptr;
    // A null address would name the executable itself.
    if (address == 0 || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                            reinterpret_cast<LPCWSTR>(address), &module)) {
        return {{}, address};
    }
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring_view name(path, length);
    const auto slash = name.find_last_of(L"\\/");
    if (slash != std::wstring_view::npos) {
        name.remove_prefix(slash + 1);
    }
    return {wideCharToUtf8(name, false, KVX_SOURCE_LOCATION), address - reinterpret_cast<uint64_t>(module)};
}

void openStackSymbols() {
    std::lock_guard lock(sSymbolMutex);
    if (!sSymbols) {
        sSymbols = SymbolLookup::open();
    }
}

void closeStackSymbols() {
    std::lock_guard lock(sSymbolMutex);
    sSymbols.reset();
}

std::optional<SymbolLocation> lookupSymbol(uint64_t address) {
    std::lock_guard lock(sSymbolMutex);
    return sSymbols ? sSymbols->find(address) : std::nullopt;
}

}  // namespace kvx::foundation
