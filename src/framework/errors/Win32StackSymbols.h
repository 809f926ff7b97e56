#pragma once
// Names for code addresses: the module and offset always, the function and offset when dbghelp
// (loaded at run time, never imported) knows a symbol for it.

#include <cstdint>
#include <optional>
#include <string>

namespace kvx::foundation {

struct CodeLocation {
    std::string module;  // file name only; empty when no module holds the address
    uint64_t moduleOffset = 0;
};

struct SymbolLocation {
    std::string function;
    uint64_t offset = 0;
};

CodeLocation locateModule(uint64_t address);

// Symbols come from the executable's folder as well as the usual places. Without dbghelp every
// lookup finds nothing.
void openStackSymbols();
void closeStackSymbols();
std::optional<SymbolLocation> lookupSymbol(uint64_t address);

}  // namespace kvx::foundation
