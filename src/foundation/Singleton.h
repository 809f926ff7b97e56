#pragma once
// Process-wide instance holder. Only the application core and the main flow create and destroy
// singletons; everything else reads them.

#include <atomic>
#include <memory>
#include <stdexcept>
#include <utility>

#include "foundation/Assert.h"

namespace kvx::foundation::utils {

template <typename T>
class Singleton {
public:
    template <typename... Args>
    static T& create(Args&&... args) {
        return createDerived<T>(std::forward<Args>(args)...);
    }

    // For interfaces: holds an instance of a class derived from T.
    template <typename Derived, typename... Args>
    static Derived& createDerived(Args&&... args) {
        KVX_ASSERT(AssertLevel::Fatal, mInstance == nullptr, "Singleton created twice");
        auto* instance = new Derived(std::forward<Args>(args)...);
        delete mInstance.exchange(instance);
        return *instance;
    }

    static void destroy() {
        T* instance = mInstance.exchange(nullptr);
        if (instance == nullptr) {
            assertFailed(AssertLevel::Fatal, "mInstance", __PRETTY_FUNCTION__, "Singleton destroyed while empty");
            return;
        }
        delete instance;
    }

    static T& getMutable() {
        T* instance = mInstance.load();
        if (instance == nullptr) {
            assertFailed(AssertLevel::Fatal, "mInstance", __PRETTY_FUNCTION__, "Attempted to access empty singleton");
            throw std::logic_error("attempted to access empty singleton");
        }
        return *instance;
    }

    static bool exists() { return mInstance.load() != nullptr; }

    // Non-asserting access for callers that treat an absent service as "do nothing".
    static T* tryGet() { return mInstance.load(); }

private:
    static inline std::atomic<T*> mInstance{nullptr};
};

}  // namespace kvx::foundation::utils
