#pragma once
// Properties every parsed key-value set must keep, checked by the parser fuzzers. A broken
// property aborts, which libFuzzer reports as a finding with the input that caused it.

#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_set>

#include "foundation/Singleton.h"
#include "framework/config/ConfigSystem.h"
#include "framework/config/KVPs.h"

namespace kvx::fuzz {

inline void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

inline bool isLowerCase(std::string_view key) {
    for (const char c : key) {
        if (c >= 'A' && c <= 'Z') {
            return false;
        }
    }
    return true;
}

// Whatever case a file spells a key in, the store holds, announces and finds it in lower case,
// and keys differing only in case are one setting.
inline void checkBulkSetLowersKeys(const KVPs& pairs) {
    using config::ConfigSystem;
    auto& system = foundation::utils::Singleton<ConfigSystem>::create();
    system.addChangeHandler([](config::ConfigScope, const std::string& key) { require(isLowerCase(key)); },
                            KVX_HANDLER_SOURCE);
    system.setBulk(pairs, config::kScopeMachine, false);

    std::unordered_set<std::string> lowered;
    for (const auto& [key, value] : pairs) {
        lowered.insert(config::lowerKey(key));
        require(system.contains(key));
    }
    const KVPs stored = system.filterByScope(config::kScopeMachine);
    require(stored.size() == lowered.size());
    for (const auto& [key, value] : stored) {
        require(isLowerCase(key) && lowered.count(key) == 1);
    }
    foundation::utils::Singleton<ConfigSystem>::destroy();
}

}  // namespace kvx::fuzz
