#pragma once
// Listing the files of folders by wildcard patterns.

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

namespace kvx::fs {

// A listing stops after this many hits (the whole walk counts when recursive).
inline constexpr size_t kMaxListedFiles = 1'048'576;

// Every file (never a folder) of `folders` whose name matches one of `patterns` under the Windows
// wildcard rules, as UTF-8 paths: the folder, normalised and ending in "\", then the file's
// path below it. Recursive listings descend into every subfolder whatever the patterns say.
// A folder that cannot be listed contributes nothing.
std::unordered_set<std::string> filesMatchingPatterns(const std::vector<std::string>& folders,
                                                      const std::vector<std::string>& patterns,
                                                      bool recursive);

}  // namespace kvx::fs
