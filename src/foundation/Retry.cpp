#include "foundation/Retry.h"

#include "foundation/Clock.h"

namespace kvx::foundation {

std::optional<std::chrono::milliseconds> FixedLengthWait::nextStep() {
    if (mAttempt >= mMaxAttempts) {
        return std::nullopt;
    }
    ++mAttempt;
    return mWait;
}

std::optional<std::chrono::milliseconds> ExponentialBackoff::nextStep() {
    if (mAttempt >= mMaxAttempts) {
        return std::nullopt;
    }
    if (mAttempt++ != 1) {
        const auto grown = static_cast<int64_t>(static_cast<float>(mWaitMs) * mMultiplier);
        mWaitMs = grown < mCeilingMs ? grown : mCeilingMs;
    }
    return std::chrono::milliseconds(mWaitMs);
}

bool tryUntilOk(const std::function<bool()>& operation, const std::function<void(uint8_t attempt)>& onFailedAttempt,
                IRetryStrategy& strategy) {
    for (uint8_t attempt = 1;; ++attempt) {
        if (operation()) {
            return true;
        }
        if (onFailedAttempt) {
            onFailedAttempt(attempt);
        }
        const auto wait = strategy.nextStep();
        if (!wait) {
            return false;
        }
        clock().sleepFor(*wait);
    }
}

}  // namespace kvx::foundation
