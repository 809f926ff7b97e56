#pragma once
// The process-wide logger: callers queue lines, a writer thread formats them and appends them to
// a main log (FATAL to INFO) and a verbose log (every level).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "foundation/LockedValue.h"
#include "foundation/Logging.h"
#include "foundation/Result.h"
#include "framework/logging/LogFile.h"
#include "framework/logging/LogFormat.h"
#include "framework/logging/LogStorage.h"
#include "framework/logging/PendingLines.h"

namespace kvx::services::logging {

struct LoggerEnvironment {
    std::shared_ptr<ILogStorage> storage;
    // Lines written and then nothing for this long: flush.
    std::chrono::milliseconds idleFlushInterval{2000};
    // Whether "logging.disableObfuscator" turns masking off; by default read from the configuration.
    std::function<bool()> obfuscatorDisabled;
};

struct LogPaths {
    std::string folder;
    std::string fileName;
    uint64_t mainSizeLimit = kMainLogSizeLimit;
    uint64_t verboseSizeLimit = kVerboseLogSizeLimit;
};

class ThreadedLogger final : public ILogger {
public:
    using LogLine = logging::LogLine;
    static constexpr uint32_t kFlushAfterLines = 512;

    explicit ThreadedLogger(LoggerEnvironment environment);
    // Stops the writer, then ends each open file with "goodbye".
    ~ThreadedLogger() override;
    ThreadedLogger(const ThreadedLogger&) = delete;
    ThreadedLogger& operator=(const ThreadedLogger&) = delete;

    Result<void, std::string> open(const LogPaths& paths);

    void setPersonaeInfo(const PersonaeInfo& info) override;
    bool isEnabled() const override { return mEnabled.load(); }
    void log(int32_t level, std::string_view function, std::string_view message) override;
    // Asks the writer to flush after its current pass; the caller never waits for the files.
    void flush() override;

private:
    void writerLoop();
    void waitForLines(bool& flushWhenIdle);
    void refreshPersonae();
    void writeLines(const std::vector<LogLine>& lines);
    void flushFiles();
    void wakeWriter();
    void addLine(const LogLine& line);

    LoggerEnvironment mEnvironment;
    const uint32_t mProcessId;
    LogFile mMainFile;
    LogFile mVerboseFile;
    std::string mFolder;
    LockedValue<PersonaeInfo> mPersonae;
    std::atomic<size_t> mPersonaeHash{0};
    size_t mAppliedPersonaeHash = 0;
    PersonaeInfo mAppliedPersonae;  // the writer's copy
    PendingLines mPending;
    std::vector<LogLine> mTaken;  // the writer's pass; its storage goes back to the queue at the next
    std::mutex mWakeMutex;
    std::condition_variable mWake;
    std::atomic<uint32_t> mUnflushedLines{0};
    std::atomic<bool> mFlushRequested{false};
    std::atomic<bool> mEnabled{false};
    std::thread mWriter;
};

// The configured "logging.disableObfuscator", false when there is no configuration.
bool obfuscatorDisabledByConfig();

}  // namespace kvx::services::logging
