#pragma once
// One of the logger's two files: opening, writing a pass's lines with one write call, rotation at a
// size limit (the size counted from the bytes written), and the rules for a full disk (only the lines
// that do not fit are lost) and other write failures.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/LockedValue.h"
#include "foundation/Logging.h"
#include "foundation/Result.h"
#include "framework/logging/LogLine.h"
#include "framework/logging/LogStorage.h"

namespace kvx::services::logging {

class LogFile {
public:
    explicit LogFile(ILogStorage& storage) : mStorage(storage) {}

    // Opens for appending and writes the blank separator line; the file stays disabled on failure.
    Result<void, std::string> open(std::string path, uint64_t sizeLimit, bool maskPersonalData);
    // Queues one line for writeOut(); `body` is the line after its part number. A file beyond its
    // limit writes what it holds and rotates first, so the line carries the new part number.
    void add(std::string_view body);
    // One write call for everything added since the last one.
    void writeOut();
    void flush();
    // Writes "goodbye" when enabled, then closes.
    void close();

    bool isEnabled() const { return mEnabled.load(); }
    bool masksPersonalData() const { return mMaskPersonalData; }
    uint32_t partNumber() const { return mPartNumber; }
    const std::string& path() const { return mPath; }

private:
    using Stream = LockedValue<std::unique_ptr<ILogStream>, std::recursive_mutex>;

    void rotate(Stream::Access& stream);
    // True when the file goes on: a full disk, the torn write taken back.
    bool handleWriteFailure(Stream::Access& stream);
    void writeLineByLine(Stream::Access& stream);
    void disable(Stream::Access& stream);

    ILogStorage& mStorage;
    Stream mStream;
    std::string mPath;
    uint32_t mPartNumber = 1;
    uint64_t mCurrentSize = 0;      // bytes in the file, not counting mBatch
    std::string mBatch;             // lines added and not written yet (writer thread only)
    std::vector<size_t> mLineEnds;  // where each line of mBatch ends
    uint64_t mSizeLimit = 0;
    std::atomic<bool> mEnabled{false};
    bool mMaskPersonalData = true;
    bool mRotateOnLimit = true;
};

}  // namespace kvx::services::logging
