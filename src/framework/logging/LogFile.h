#pragma once
// One of the logger's two files: opening, masking, writing with rotation at a size limit, and the
// rules for a full disk and other write failures.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "foundation/LockedValue.h"
#include "foundation/Logging.h"
#include "foundation/Result.h"
#include "framework/logging/LogLine.h"
#include "framework/logging/LogStorage.h"

namespace kvx::services::logging {

class LogFile {
public:
    LogFile(ILogStorage& storage, uint32_t processId) : mStorage(storage), mProcessId(processId) {}

    // Opens for appending and writes the blank separator line; the file stays disabled on failure.
    Result<void, std::string> open(std::string path, uint64_t sizeLimit, bool maskPersonalData);
    void write(const LogLine& line, const ILogger::PersonaeInfo& personae);
    void flush();
    // Writes "goodbye" when enabled, then closes.
    void close();

    bool isEnabled() const { return mEnabled.load(); }
    uint32_t partNumber() const { return mPartNumber; }
    const std::string& path() const { return mPath; }

private:
    using Stream = LockedValue<std::unique_ptr<ILogStream>, std::recursive_mutex>;

    void rotate(Stream::Access& stream);
    void append(Stream::Access& stream, const std::string& text);
    void disable(Stream::Access& stream);

    ILogStorage& mStorage;
    const uint32_t mProcessId;
    Stream mStream;
    std::string mPath;
    uint32_t mPartNumber = 1;
    uint64_t mCurrentSize = 0;
    uint64_t mSizeLimit = 0;
    std::atomic<bool> mEnabled{false};
    bool mMaskPersonalData = true;
    bool mRotateOnLimit = true;
};

}  // namespace kvx::services::logging
