// libFuzzer entry for the configuration-file parser: developer .cfg files are edited by hand, so any
// bytes must parse without a crash, and the store holds each key once, in lower case.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <unordered_set>

#include "framework/config/ConfigSystem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kvx::config;
    kvx::KVPs pairs;
    pairs.addFromTomlString(std::string_view(reinterpret_cast<const char*>(data), size));
    ConfigSystem system;
    system.setBulk(pairs, kScopeMachine, false);
    std::unordered_set<std::string> lowered;
    for (const auto& [key, value] : pairs) {
        lowered.insert(lowerKey(key));
    }
    const kvx::KVPs stored = system.filterByScope(kScopeMachine);
    bool same = stored.size() == lowered.size();
    for (const auto& [key, value] : stored) {
        same = same && lowered.count(key) == 1 &&
               key.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string::npos;
    }
    if (!same) {
        std::abort();
    }
    return 0;
}
