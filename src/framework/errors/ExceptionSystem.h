#pragma once
// The crash-report client: on an unhandled exception it logs what happened and leaves a report in
// a temporary file for the suite's separate crash-reporter program.

#include <cstdint>
#include <memory>
#include <string>

namespace kvx::foundation {

struct CrashInfo {
    uint32_t exceptionCode = 0;
    uint64_t faultAddress = 0;
    std::string module;  // file name of the module holding the fault address, empty when none
    uint64_t moduleOffset = 0;
    uint32_t threadId = 0;
};

// Notification ids the client is sent.
inline constexpr uint32_t kCrashNotification = 1;

class ExceptionHandlerClient {
public:
    explicit ExceptionHandlerClient(std::string executablePath);

    void setLogFilePaths(std::string mainLog, std::string verboseLog);
    // A crash notification writes the report; the answer is its path, empty when none was written
    // or the notification is not one the client handles.
    std::string onNotification(uint32_t id, const CrashInfo& crash);

private:
    std::string writeReport(const std::string& content);

    std::string mExecutablePath;
    std::string mMainLog;
    std::string mVerboseLog;
};

// Owns the client and routes the process's unhandled exceptions to it while enabled, which it is
// from construction on. One per process.
class ExceptionSystem {
public:
    explicit ExceptionSystem(std::string executablePath);
    ~ExceptionSystem();
    ExceptionSystem(const ExceptionSystem&) = delete;
    ExceptionSystem& operator=(const ExceptionSystem&) = delete;

    void setLogFilePaths(std::string mainLog, std::string verboseLog);
    void enable();
    void disable();
    bool isEnabled() const { return mEnabled; }
    ExceptionHandlerClient& client() { return mClient; }

private:
    ExceptionHandlerClient mClient;
    bool mEnabled = false;
    void* mPreviousFilter = nullptr;
};

}  // namespace kvx::foundation
