#pragma once
// Every reading of the time and every sleep or deadline of the program goes through the clock
// singleton, so tests can replace it with virtual time.

#include <chrono>
#include <cstdint>

namespace kvx::foundation {

class IClock {
public:
    virtual ~IClock() = default;

    // Wall-clock time in nanoseconds since 1970-01-01 00:00 UTC.
    virtual int64_t nowNanosecondsSinceEpoch() const = 0;
    // Monotonic time; only differences mean anything.
    virtual std::chrono::nanoseconds monotonicNow() const = 0;
    // Returns once the monotonic clock has passed the deadline.
    virtual void sleepUntil(std::chrono::nanoseconds monotonicDeadline) = 0;

    int64_t now100nsSinceEpoch() const { return nowNanosecondsSinceEpoch() / 100; }
    int64_t nowSecondsSinceEpoch() const { return nowNanosecondsSinceEpoch() / 1'000'000'000; }
    void sleepFor(std::chrono::nanoseconds duration) { sleepUntil(monotonicNow() + duration); }
};

class SystemClock final : public IClock {
public:
    int64_t nowNanosecondsSinceEpoch() const override;
    std::chrono::nanoseconds monotonicNow() const override;
    void sleepUntil(std::chrono::nanoseconds monotonicDeadline) override;
};

// The clock singleton when one is installed, otherwise a process-wide system clock.
IClock& clock();

}  // namespace kvx::foundation
