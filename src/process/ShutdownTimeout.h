#pragma once
// Watchdog for the end of the program: once shutdown begins, a guard thread records a teardown
// that stalls past its limit under "ShutdownErrors" of the app key (for the next start of a suite
// program to report) and then, by mode, crashes the process, ends it, or only leaves the record.
// Held in the foundation Singleton by the main flow.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "foundation/Clock.h"

namespace kvx::apps {

inline constexpr const char* kShutdownErrorsSubKey = "ShutdownErrors";
// The exit code of a process the guard ended (that of an abnormal end by the runtime).
inline constexpr unsigned kShutdownTimeoutExitCode = 3;

class ShutdownTimeout {
public:
    // The record goes below the application key `appKeyPath` (HKLM, 64-bit view). The guard
    // measures with `clock` (null: the system's), held here because the framework's clock
    // singleton is destroyed during the very teardown the guard watches.
    explicit ShutdownTimeout(std::string appKeyPath, std::shared_ptr<foundation::IClock> clock = nullptr);
    ~ShutdownTimeout();
    ShutdownTimeout(const ShutdownTimeout&) = delete;
    ShutdownTimeout& operator=(const ShutdownTimeout&) = delete;

    // Fixes the mode (`terminateByDefault` makes ending the process the default on expiry) and
    // reports the time-outs earlier runs recorded.
    void init(bool terminateByDefault);
    // Starts the guard; later calls do nothing.
    void stopSignalReceived();

private:
    // Waits until the monotonic deadline or destruction.
    void guard(std::chrono::nanoseconds deadline);
    void expire();

    std::mutex mMutex;
    bool mStarted = false;
    bool mStopped = false;
    bool mForceCrash = false;
    bool mForceTerminate = false;
    std::string mAppKeyPath;
    std::string mAppName;
    std::thread mThread;
    std::condition_variable mCondition;
    std::shared_ptr<foundation::IClock> mClock;
};

}  // namespace kvx::apps
