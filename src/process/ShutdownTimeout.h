#pragma once
// Watchdog for the end of the program: once shutdown begins, a guard ends the process if the
// framework's teardown stalls. Held in the foundation Singleton by the main flow.

namespace kvx::apps {

class ShutdownTimeout {
public:
    ShutdownTimeout() = default;
    ~ShutdownTimeout();
    ShutdownTimeout(const ShutdownTimeout&) = delete;
    ShutdownTimeout& operator=(const ShutdownTimeout&) = delete;

    // Fixes the mode; `terminateByDefault` makes ending the process the default on expiry.
    void init(bool terminateByDefault);
    // Starts the guard; later calls do nothing.
    void stopSignalReceived();

private:
    bool mStarted = false;
};

}  // namespace kvx::apps
