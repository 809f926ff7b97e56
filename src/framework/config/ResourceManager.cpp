#include "framework/config/ResourceManager.h"

#include <fmt/format.h>

#include "framework/config/RccContainer.h"

namespace kvx::resources {
namespace {

constexpr std::string_view kRootPrefix = ":/";

}  // namespace

Result<void, std::string> ResourceManager::addRccData(std::span<const uint8_t> container) {
    auto entries = parseRcc(container);
    if (entries.isError()) {
        return Err{entries.unwrapError()};
    }
    std::lock_guard lock(mMutex);
    for (RccEntry& entry : entries.unwrap()) {
        mFiles.insert_or_assign(std::move(entry.path), std::move(entry.data));
    }
    return Ok{};
}

Result<std::string, std::string> ResourceManager::lookup(std::string_view path) const {
    if (path.substr(0, kRootPrefix.size()) == kRootPrefix) {
        std::string_view relative = path.substr(kRootPrefix.size());
        while (!relative.empty() && relative.back() == '/') {
            relative.remove_suffix(1);
        }
        std::lock_guard lock(mMutex);
        if (auto it = mFiles.find(relative); it != mFiles.end()) {
            return Ok{it->second};
        }
        // A folder is any prefix of stored paths that ends at a "/"; the root is one too.
        const std::string folder = relative.empty() ? std::string() : std::string(relative) + "/";
        auto next = mFiles.lower_bound(folder);
        if (next != mFiles.end() && next->first.compare(0, folder.size(), folder) == 0) {
            return Err{fmt::format("Requested node[{}] is a directory", path)};
        }
    }
    return Err{fmt::format("Resource {} not found", path)};
}

bool ResourceManager::exists(std::string_view path) const { return lookup(path).isOk(); }

}  // namespace kvx::resources
