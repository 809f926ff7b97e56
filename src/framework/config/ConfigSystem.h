#pragma once
// The process-wide settings store: every tunable, developer override and machine setting, by
// dotted, case-insensitive key. Reads take a default at each call site.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "foundation/Singleton.h"
#include "framework/config/KVPs.h"

namespace kvx::config {

// Where a setting came from. Seven values exist; the program uses three.
using ConfigScope = uint8_t;
inline constexpr ConfigScope kScopeStatic = 1;
inline constexpr ConfigScope kScopeCloud = 4;
inline constexpr ConfigScope kScopeMachine = 6;
inline constexpr ConfigScope kScopeCount = 7;

enum class Store { Ordinary, Override };

struct HandlerSource {
    const char* function;
    int line;
};
#define KVX_HANDLER_SOURCE (::kvx::config::HandlerSource{__PRETTY_FUNCTION__, __LINE__})

// ASCII lower case, byte by byte: the form every key is stored, looked up and recorded in.
std::string lowerKey(std::string_view key);

class ConfigSystem {
public:
    using ChangeHandler = std::function<void(ConfigScope scope, const std::string& key)>;

    // Missing or empty: the default; "0" or "false": false; anything else: true.
    bool getBool(std::string_view key, bool defaultValue, bool requireCloud = false) const;
    // Missing: the default; otherwise leading decimal digits, or 0 when there are none or they overflow.
    uint32_t getUInt32(std::string_view key, uint32_t defaultValue, bool requireCloud = false) const;
    uint64_t getUInt64(std::string_view key, uint64_t defaultValue, bool requireCloud = false) const;
    // Missing: the default; otherwise the stored text, also when empty.
    std::string getString(std::string_view key, std::string_view defaultValue, bool requireCloud = false) const;
    bool contains(std::string_view key) const;
    // Effective values of every key ever set under `scope` that a store still holds.
    KVPs filterByScope(ConfigScope scope) const;

    void set(Store store, std::string_view key, std::string value, ConfigScope scope, bool notify = true);
    void setBool(Store store, std::string_view key, bool value, ConfigScope scope, bool notify = true);
    void setUInt64(Store store, std::string_view key, uint64_t value, ConfigScope scope, bool notify = true);
    // Sets each pair with notification; scope 4 then marks the cloud configuration loaded.
    void setBulk(const KVPs& pairs, ConfigScope scope, bool toOverrideStore);
    // Empties the override store; the scope sets keep their keys.
    void clearOverrides();
    uint32_t addChangeHandler(ChangeHandler handler, HandlerSource source);

    // The data lock, for callers that must read and set as one step (recursive).
    std::unique_lock<std::recursive_mutex> lockData() const { return std::unique_lock(mDataMutex); }

private:
    struct HandlerEntry {
        ChangeHandler handler;
        uint32_t id;
        HandlerSource source;
    };

    // Caller holds the data lock.
    const std::string* findEffective(const std::string& lowerKey) const;
    void checkCloud(bool requireCloud) const;
    template <typename T>
    T getUnsigned(std::string_view key, T defaultValue, bool requireCloud) const;

    // Lock order: data lock, then handler lock.
    mutable std::recursive_mutex mHandlerMutex;
    std::vector<HandlerEntry> mHandlers;
    KVPs mStore;
    KVPs mOverrides;
    std::unordered_set<std::string> mScopeKeys[kScopeCount];
    bool mCloudConfigLoaded = false;
    mutable std::recursive_mutex mDataMutex;
};

// The configuration singleton (asserts and throws when absent, like every singleton access).
inline ConfigSystem& configSystem() { return foundation::utils::Singleton<ConfigSystem>::getMutable(); }

}  // namespace kvx::config

namespace kvx::foundation {
// "true" / "false" in any letter case; anything else is false (and logged).
bool readBool(std::string_view text);
}  // namespace kvx::foundation
