#pragma once
// A value paired with its mutex, reachable only while a lock on it is held.

#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "foundation/Assert.h"

namespace kvx {

template <typename T, typename Mutex = std::mutex, typename Lock = std::unique_lock<Mutex>>
class LockedValue {
    struct State {
        template <typename... Args>
        explicit State(Args&&... args) : value(std::forward<Args>(args)...) {}
        Mutex mutex;
        T value;
    };

public:
    // Holds the lock for as long as it lives.
    class Access {
    public:
        Access(Mutex& mutex, T& value) : mLock(mutex), mValue(&value) {}
        T& operator*() const { return *mValue; }
        T* operator->() const { return mValue; }
        Lock& lock() { return mLock; }

    private:
        Lock mLock;
        T* mValue;
    };

    template <typename... Args>
    explicit LockedValue(Args&&... args) : mState(std::make_unique<State>(std::forward<Args>(args)...)) {}
    LockedValue(LockedValue&&) noexcept = default;
    LockedValue& operator=(LockedValue&&) noexcept = default;

    Access checkedValue() {
        if (!mState) {
            foundation::assertFailed(foundation::AssertLevel::Fatal, "mState", __PRETTY_FUNCTION__,
                                     "you must not access a moved LockedValue");
            throw std::logic_error("you must not access a moved LockedValue");
        }
        return Access(mState->mutex, mState->value);
    }

private:
    std::unique_ptr<State> mState;
};

}  // namespace kvx
