#pragma once
// Virtual time for tests: sleeps return at once and move the clock forward, and every sleep is
// recorded so a test can check a retry schedule without waiting for it.

#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

#include "foundation/Clock.h"
#include "foundation/Singleton.h"

namespace kvx::test {

class TestClock final : public foundation::IClock {
public:
    int64_t nowNanosecondsSinceEpoch() const override {
        std::lock_guard lock(mMutex);
        return mWallNs;
    }
    std::chrono::nanoseconds monotonicNow() const override {
        std::lock_guard lock(mMutex);
        return mMonotonic;
    }
    void sleepUntil(std::chrono::nanoseconds monotonicDeadline) override {
        if (mDuringSleep) {
            mDuringSleep();
        }
        std::lock_guard lock(mMutex);
        if (monotonicDeadline > mMonotonic) {
            mSleeps.push_back(
                std::chrono::duration_cast<std::chrono::milliseconds>(monotonicDeadline - mMonotonic));
            mWallNs += (monotonicDeadline - mMonotonic).count();
            mMonotonic = monotonicDeadline;
        }
    }
    // Run at every sleep, on the sleeping thread: what others would see while it waits.
    void duringSleep(std::function<void()> observer) { mDuringSleep = std::move(observer); }

    void advance(std::chrono::nanoseconds by) {
        std::lock_guard lock(mMutex);
        mMonotonic += by;
        mWallNs += by.count();
    }
    void setWallClock(int64_t nanosecondsSinceEpoch) {
        std::lock_guard lock(mMutex);
        mWallNs = nanosecondsSinceEpoch;
    }
    std::vector<std::chrono::milliseconds> sleeps() const {
        std::lock_guard lock(mMutex);
        return mSleeps;
    }

private:
    mutable std::mutex mMutex;
    int64_t mWallNs = 1'767'225'600'000'000'000;  // 2026-01-01T00:00:00Z
    std::chrono::nanoseconds mMonotonic{std::chrono::hours(1)};
    std::vector<std::chrono::milliseconds> mSleeps;
    std::function<void()> mDuringSleep;
};

// Installs a TestClock as the clock singleton for the lifetime of the object.
class ScopedTestClock {
public:
    ScopedTestClock()
        : mClock(foundation::utils::Singleton<foundation::IClock>::createDerived<TestClock>()) {}
    ~ScopedTestClock() { foundation::utils::Singleton<foundation::IClock>::destroy(); }
    TestClock& operator*() { return mClock; }
    TestClock* operator->() { return &mClock; }

private:
    TestClock& mClock;
};

}  // namespace kvx::test
