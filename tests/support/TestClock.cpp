#include "support/TestClock.h"

namespace kvx::test {

int64_t TestClock::nowNanosecondsSinceEpoch() const {
    std::lock_guard lock(mMutex);
    return mWallNs;
}

std::chrono::nanoseconds TestClock::monotonicNow() const {
    std::lock_guard lock(mMutex);
    return mMonotonic;
}

void TestClock::sleepUntil(std::chrono::nanoseconds monotonicDeadline) {
    std::lock_guard lock(mMutex);
    if (monotonicDeadline <= mMonotonic) {
        return;
    }
    const auto slept = monotonicDeadline - mMonotonic;
    mSleeps.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(slept));
    mMonotonic = monotonicDeadline;
    mWallNs += slept.count();
}

void TestClock::advance(std::chrono::nanoseconds by) {
    std::lock_guard lock(mMutex);
    mMonotonic += by;
    mWallNs += by.count();
}

void TestClock::setWallClock(int64_t nanosecondsSinceEpoch) {
    std::lock_guard lock(mMutex);
    mWallNs = nanosecondsSinceEpoch;
}

std::vector<std::chrono::milliseconds> TestClock::sleeps() const {
    std::lock_guard lock(mMutex);
    return mSleeps;
}

}  // namespace kvx::test
