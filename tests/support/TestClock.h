#pragma once
// Virtual time for tests: sleeps return at once and move the clock forward, and every sleep is
// recorded so a test can check a retry schedule without waiting for it.

#include <chrono>
#include <mutex>
#include <vector>

#include "foundation/Clock.h"
#include "foundation/Singleton.h"

namespace kvx::test {

class TestClock final : public foundation::IClock {
public:
    int64_t nowNanosecondsSinceEpoch() const override;
    std::chrono::nanoseconds monotonicNow() const override;
    void sleepUntil(std::chrono::nanoseconds monotonicDeadline) override;

    void advance(std::chrono::nanoseconds by);
    void setWallClock(int64_t nanosecondsSinceEpoch);
    std::vector<std::chrono::milliseconds> sleeps() const;

private:
    mutable std::mutex mMutex;
    int64_t mWallNs = 1'767'225'600'000'000'000;  // 2026-01-01T00:00:00Z
    std::chrono::nanoseconds mMonotonic{std::chrono::hours(1)};
    std::vector<std::chrono::milliseconds> mSleeps;
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
