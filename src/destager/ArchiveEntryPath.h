#pragma once
// Archive entry names ("/"-separated) as paths under the folder the archive was unpacked into.

#include <optional>
#include <string>
#include <string_view>

namespace kvx::apps::internal {

// The name with "\" separators, or nothing when it could leave the folder: empty, absolute,
// with a drive or any ":" (also alternate data streams), or with a ".." component.
std::optional<std::string> entryRelativePath(std::string_view entryName);

}  // namespace kvx::apps::internal
