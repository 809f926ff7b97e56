#pragma once
// The text a COM error object falls back to for an HRESULT the system has no message for.

#include <cstdint>
#include <string>

namespace kvx::services::process {

// "IDispatch error #n" for the dispatch range 0x80040200 to 0x8004FFFF (n counted from its start),
// "Unknown error 0x..." for every other code.
std::string hresultFallbackText(uint32_t hr);

}  // namespace kvx::services::process
