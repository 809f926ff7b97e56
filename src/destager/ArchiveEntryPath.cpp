#include "destager/ArchiveEntryPath.h"

#include <algorithm>

namespace kvx::apps::internal {

namespace {
bool isSeparator(char c) { return c == '/' || c == '\\'; }
}  // namespace

std::optional<std::string> entryRelativePath(std::string_view entryName) {
    if (entryName.empty() || isSeparator(entryName.front()) || entryName.find(':') != std::string_view::npos) {
        return std::nullopt;
    }
    std::string relative;
    size_t start = 0;
    while (start <= entryName.size()) {
        const auto end = std::find_if(entryName.begin() + start, entryName.end(), isSeparator) - entryName.begin();
        const std::string_view component = entryName.substr(start, end - start);
        if (component == "..") {
            return std::nullopt;
        }
        if (!component.empty() && component != ".") {
            if (!relative.empty()) {
                relative += '\\';
            }
            relative += component;
        }
        start = static_cast<size_t>(end) + 1;
    }
    if (relative.empty()) {
        return std::nullopt;
    }
    return relative;
}

}  // namespace kvx::apps::internal
