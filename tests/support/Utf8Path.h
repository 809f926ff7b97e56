#pragma once

#include <filesystem>
#include <string>

namespace kvx::test {

// The UTF-8 text of a standard path, as the program's log lines show it.
inline std::string utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace kvx::test
