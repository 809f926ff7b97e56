#pragma once
// What the logger needs from the file system, so the writing rules run against fakes in tests and
// against Win32 files in the program.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Result.h"

namespace kvx::services::logging {

// Why a stream position could not be read: stream state bits (1 bad, 2 eof, 4 fail) and errno.
struct StreamError {
    int rdState;
    int errnoValue;
};

inline constexpr int kErrnoNoSpace = 28;  // ENOSPC
inline constexpr int kErrnoIo = 5;        // EIO
inline constexpr int kStreamBadBit = 1;

class ILogStream {
public:
    virtual ~ILogStream() = default;
    // False when not all of `text` was written; the stream stays failed and position() reports why.
    virtual bool write(std::string_view text) = 0;
    virtual Result<uint64_t, StreamError> position() = 0;
    // Moves back to an earlier position, dropping what lies beyond it, and clears a failure.
    virtual void restore(uint64_t position) = 0;
    // Hands buffered data to the system; forcing it to disk is left to closing.
    virtual void flush() = 0;
};

struct RenameError {
    uint32_t code;
    std::string text;
};

class ILogStorage {
public:
    virtual ~ILogStorage() = default;
    // Creates the folder and its parents; the error is the system's text.
    virtual Result<void, std::string> createDirectories(const std::string& folder) = 0;
    // Opens for appending with reading, writing and deleting shared; the error is an errno value.
    virtual Result<std::unique_ptr<ILogStream>, int> openForAppend(const std::string& path) = 0;
    // Renames, replacing an existing target.
    virtual Result<void, RenameError> replaceFile(const std::string& from, const std::string& to) = 0;
    // Names of the processes that hold the file open, when that can be found out.
    virtual std::vector<std::string> processesHolding(const std::string& path) = 0;
};

}  // namespace kvx::services::logging
