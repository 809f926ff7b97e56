#pragma once
// The retry driver and its schedules. Waits go through the clock singleton.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace kvx::foundation {

class IRetryStrategy {
public:
    virtual ~IRetryStrategy() = default;
    // Either "stop" (nullopt) or "retry after this wait".
    virtual std::optional<std::chrono::milliseconds> nextStep() = 0;
};

// At most `maxAttempts` attempts with the same wait between them.
class FixedLengthWait final : public IRetryStrategy {
public:
    FixedLengthWait(uint8_t maxAttempts, std::chrono::milliseconds wait) : mMaxAttempts(maxAttempts), mWait(wait) {}
    std::optional<std::chrono::milliseconds> nextStep() override;

private:
    uint8_t mAttempt = 1;
    uint8_t mMaxAttempts;
    std::chrono::milliseconds mWait;
};

// Waits grow by a factor, computed in single precision and truncated, up to a ceiling.
class ExponentialBackoff final : public IRetryStrategy {
public:
    ExponentialBackoff(uint8_t maxAttempts, int64_t firstWaitMs, float multiplier, int64_t ceilingMs)
        : mMaxAttempts(maxAttempts), mWaitMs(firstWaitMs), mCeilingMs(ceilingMs), mMultiplier(multiplier) {}
    std::optional<std::chrono::milliseconds> nextStep() override;

private:
    uint8_t mAttempt = 1;
    uint8_t mMaxAttempts;
    int64_t mWaitMs;
    int64_t mCeilingMs;
    float mMultiplier;
};

// The schedule of every folder step of an update: 5 attempts, 1 s apart.
inline FixedLengthWait folderStepSchedule() { return FixedLengthWait(5, std::chrono::milliseconds(1000)); }

// Runs `operation` until it succeeds or the strategy says stop. `onFailedAttempt` sees every failed
// attempt (numbered from 1), the last one included.
bool tryUntilOk(const std::function<bool()>& operation, const std::function<void(uint8_t attempt)>& onFailedAttempt,
                IRetryStrategy& strategy);

}  // namespace kvx::foundation
