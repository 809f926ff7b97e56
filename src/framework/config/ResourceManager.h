#pragma once
// The built-in files of the installation, looked up by ":/" paths (":/config/tamrin.cfg").

#include <cstdint>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "foundation/Result.h"

namespace kvx::resources {

class ResourceManager {
public:
    // Adds every file of a plain (deciphered) container; a later container replaces files of the
    // same path. A damaged container adds nothing.
    Result<void, std::string> addRccData(std::span<const uint8_t> container);

    // The file's bytes; "Resource {} not found" or "Requested node[{}] is a directory" otherwise.
    Result<std::string, std::string> lookup(std::string_view path) const;
    bool exists(std::string_view path) const;

private:
    mutable std::mutex mMutex;
    std::map<std::string, std::string, std::less<>> mFiles;  // keyed without the ":/"
};

}  // namespace kvx::resources
