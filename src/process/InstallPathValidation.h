#pragma once
// Checks that the destager runs from inside the install location.

#include <cstdint>
#include <string_view>

namespace kvx::apps {

// 0 when the executable's path begins with the install location (A-Z folded to lower case, a plain
// text prefix test), 23 when it does not, 24 when the install location is unknown (empty).
int32_t validateInstallPath(std::wstring_view installLocation, std::wstring_view executablePath);

}  // namespace kvx::apps
