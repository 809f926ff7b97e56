#pragma once
// The maker's platform libraries that the application core only starts and stops: the profiler,
// the networking library and the trace library. Each is one process-wide object whose state other
// parts read (the logger and work items ask whether the profiler runs).

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace kvx::services::platform {

// A library's running state and the text it was started with; any thread may ask.
class LibrarySession {
public:
    // False (and nothing changes) when already running.
    bool start(const std::string& text);
    void stop();
    bool isRunning() const { return mRunning; }
    std::string text() const;

private:
    mutable std::mutex mMutex;
    std::string mText;
    std::atomic<bool> mRunning{false};
};

class Profiler {
public:
    void setWriteIntervalMs(uint32_t milliseconds) { mWriteIntervalMs = milliseconds; }
    uint32_t writeIntervalMs() const { return mWriteIntervalMs; }
    bool start(const std::string& sessionName) { return mSession.start(sessionName); }
    void stop() { mSession.stop(); }
    bool isRunning() const { return mSession.isRunning(); }
    std::string sessionName() const { return mSession.text(); }

private:
    LibrarySession mSession;
    std::atomic<uint32_t> mWriteIntervalMs{1000};
};

class NetworkLibrary {
public:
    // The parameter text is kept for the library's services.
    bool startup(const std::string& parameters) { return mSession.start(parameters); }
    void shutdown() { mSession.stop(); }
    bool isStarted() const { return mSession.isRunning(); }
    std::string parameters() const { return mSession.text(); }

private:
    LibrarySession mSession;
};

class TraceLibrary {
public:
    void start() { mSession.start({}); }
    void stop() { mSession.stop(); }
    bool isRunning() const { return mSession.isRunning(); }

private:
    LibrarySession mSession;
};

Profiler& profiler();
NetworkLibrary& networkLibrary();
TraceLibrary& traceLibrary();

}  // namespace kvx::services::platform
