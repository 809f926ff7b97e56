#include "framework/config/ConfigSystem.h"

#include <atomic>
#include <limits>

#include "foundation/Assert.h"
#include "foundation/Logging.h"

namespace kvx::config {
namespace {

// Ids are unique across every ConfigSystem of the process, so a stale id never names a new handler.
std::atomic<uint32_t> gNextHandlerId{1};

template <typename T>
T parseLeadingDigits(const std::string& text) {
    T value = 0;
    size_t digits = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        const T digit = static_cast<T>(c - '0');
        if (value > (std::numeric_limits<T>::max() - digit) / 10) {
            return 0;
        }
        value = value * 10 + digit;
        ++digits;
    }
    return digits == 0 ? 0 : value;
}

}  // namespace

std::string lowerKey(std::string_view key) {
    std::string lower(key);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

const std::string* ConfigSystem::findEffective(const std::string& key) const {
    if (const std::string* value = mOverrides.find(key)) {
        return value;
    }
    return mStore.find(key);
}

void ConfigSystem::checkCloud(bool requireCloud) const {
    if (requireCloud) {
        KVX_ASSERT(foundation::AssertLevel::Error, mCloudConfigLoaded, "Cloud config is not loaded");
    }
}

bool ConfigSystem::getBool(std::string_view key, bool defaultValue, bool requireCloud) const {
    std::lock_guard lock(mDataMutex);
    checkCloud(requireCloud);
    const std::string* value = findEffective(lowerKey(key));
    if (value == nullptr || value->empty()) {
        return defaultValue;
    }
    return !(*value == "0" || *value == "false");
}

template <typename T>
T ConfigSystem::getUnsigned(std::string_view key, T defaultValue, bool requireCloud) const {
    std::lock_guard lock(mDataMutex);
    checkCloud(requireCloud);
    const std::string* value = findEffective(lowerKey(key));
    return value == nullptr ? defaultValue : parseLeadingDigits<T>(*value);
}

uint32_t ConfigSystem::getUInt32(std::string_view key, uint32_t defaultValue, bool requireCloud) const {
    return getUnsigned<uint32_t>(key, defaultValue, requireCloud);
}

uint64_t ConfigSystem::getUInt64(std::string_view key, uint64_t defaultValue, bool requireCloud) const {
    return getUnsigned<uint64_t>(key, defaultValue, requireCloud);
}

std::string ConfigSystem::getString(std::string_view key, std::string_view defaultValue, bool requireCloud) const {
    std::lock_guard lock(mDataMutex);
    checkCloud(requireCloud);
    const std::string* value = findEffective(lowerKey(key));
    return value == nullptr ? std::string(defaultValue) : *value;
}

bool ConfigSystem::contains(std::string_view key) const {
    std::lock_guard lock(mDataMutex);
    return findEffective(lowerKey(key)) != nullptr;
}

KVPs ConfigSystem::filterByScope(ConfigScope scope) const {
    KVPs result;
    if (scope >= kScopeCount) {
        return result;
    }
    std::lock_guard lock(mDataMutex);
    for (const std::string& key : mScopeKeys[scope]) {
        if (const std::string* value = findEffective(key)) {
            result.set(key, *value);
        }
    }
    return result;
}

void ConfigSystem::set(Store store, std::string_view key, std::string value, ConfigScope scope, bool notify) {
    KVX_ASSERT(foundation::AssertLevel::Error, scope < kScopeCount, "Invalid config scope [{}]", scope);
    std::string lower = lowerKey(key);

    std::lock_guard dataLock(mDataMutex);
    if (scope < kScopeCount) {
        mScopeKeys[scope].insert(lower);
    }
    (store == Store::Override ? mOverrides : mStore).set(lower, std::move(value));
    if (!notify) {
        return;
    }
    std::vector<HandlerEntry> handlers;
    {
        std::lock_guard handlerLock(mHandlerMutex);
        handlers = mHandlers;
    }
    // Still under the data lock: a handler sees the value it is told about, and may read or set
    // settings itself because the lock is recursive.
    for (const HandlerEntry& entry : handlers) {
        entry.handler(scope, lower);
    }
}

void ConfigSystem::setBool(Store store, std::string_view key, bool value, ConfigScope scope, bool notify) {
    set(store, key, value ? "1" : "0", scope, notify);
}

void ConfigSystem::setUInt64(Store store, std::string_view key, uint64_t value, ConfigScope scope, bool notify) {
    set(store, key, std::to_string(value), scope, notify);
}

void ConfigSystem::setBulk(const KVPs& pairs, ConfigScope scope, bool toOverrideStore) {
    std::lock_guard lock(mDataMutex);
    for (const auto& [key, value] : pairs) {
        set(toOverrideStore ? Store::Override : Store::Ordinary, key, value, scope, true);
    }
    if (scope == kScopeCloud) {
        mCloudConfigLoaded = true;
    }
}

void ConfigSystem::clearOverrides() {
    std::lock_guard lock(mDataMutex);
    mOverrides.clear();
}

uint32_t ConfigSystem::addChangeHandler(ChangeHandler handler, HandlerSource source) {
    std::lock_guard lock(mHandlerMutex);
    const uint32_t id = gNextHandlerId.fetch_add(1);
    mHandlers.push_back({std::move(handler), id, source});
    return id;
}

}  // namespace kvx::config

namespace kvx::foundation {

bool readBool(std::string_view text) {
    const std::string lower = config::lowerKey(text);
    if (lower == "true") {
        return true;
    }
    if (lower != "false") {
        KVX_LOG_DEBUG("Failed to convert string to bool value, returning false by default");
    }
    return false;
}

}  // namespace kvx::foundation
