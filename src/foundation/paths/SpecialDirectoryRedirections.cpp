#include "foundation/paths/SpecialDirectoryRedirections.h"

#include <mutex>

namespace kvx::foundation {

namespace {
std::mutex gMutex;
std::map<SpecialDirectory, std::string> gRedirections;
}  // namespace

void setSpecialDirectoryRedirections(std::map<SpecialDirectory, std::string> redirections) {
    std::lock_guard lock(gMutex);
    gRedirections = std::move(redirections);
}

std::optional<std::string> specialDirectoryRedirection(SpecialDirectory directory) {
    std::lock_guard lock(gMutex);
    const auto found = gRedirections.find(directory);
    if (found == gRedirections.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace kvx::foundation
