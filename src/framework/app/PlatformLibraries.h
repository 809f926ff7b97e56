#pragma once
// The maker's platform libraries that the application core only starts and stops: the profiler,
// the networking library and the trace library. Each is one process-wide object whose state other
// parts read (the logger and work items ask whether the profiler runs).

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace kvx::services::platform {

class Profiler {
public:
    void setWriteIntervalMs(uint32_t milliseconds) { mWriteIntervalMs = milliseconds; }
    uint32_t writeIntervalMs() const { return mWriteIntervalMs; }
    // False when a session is already running.
    bool start(const std::string& sessionName);
    void stop();
    bool isRunning() const { return mRunning; }
    std::string sessionName() const;

private:
    mutable std::mutex mMutex;
    std::string mSessionName;
    std::atomic<uint32_t> mWriteIntervalMs{1000};
    std::atomic<bool> mRunning{false};
};

class NetworkLibrary {
public:
    // The parameter text is kept for the library's services; false when already started.
    bool startup(const std::string& parameters);
    void shutdown();
    bool isStarted() const { return mStarted; }
    std::string parameters() const;

private:
    mutable std::mutex mMutex;
    std::string mParameters;
    std::atomic<bool> mStarted{false};
};

class TraceLibrary {
public:
    void start() { mRunning = true; }
    void stop() { mRunning = false; }
    bool isRunning() const { return mRunning; }

private:
    std::atomic<bool> mRunning{false};
};

Profiler& profiler();
NetworkLibrary& networkLibrary();
TraceLibrary& traceLibrary();

}  // namespace kvx::services::platform
