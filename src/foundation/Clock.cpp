#include "foundation/Clock.h"

#include <thread>

#include "foundation/Singleton.h"

namespace kvx::foundation {

int64_t SystemClock::nowNanosecondsSinceEpoch() const {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
}

std::chrono::nanoseconds SystemClock::monotonicNow() const {
    return std::chrono::steady_clock::now().time_since_epoch();
}

void SystemClock::sleepUntil(std::chrono::nanoseconds monotonicDeadline) {
    // Sleeps may wake early; keep going until the deadline has really passed.
    for (auto now = monotonicNow(); now < monotonicDeadline; now = monotonicNow()) {
        std::this_thread::sleep_for(monotonicDeadline - now);
    }
}

IClock& clock() {
    if (IClock* installed = utils::Singleton<IClock>::tryGet()) {
        return *installed;
    }
    static SystemClock fallback;
    return fallback;
}

}  // namespace kvx::foundation
