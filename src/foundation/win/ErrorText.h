#pragma once
// Windows error codes as the text the system has for them.

#include <cstdint>
#include <string>

namespace kvx::WinUtils {

// The system's message for `error` without its trailing line break, or "errorId=[{}]" when the
// system has none.
std::string getErrorAsString(uint32_t error);

}  // namespace kvx::WinUtils
