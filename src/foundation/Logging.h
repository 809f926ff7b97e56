#pragma once
// The logging call interface every part of the program uses. Each statement names its function
// (the compiler's signature, reduced to the qualified name when a line is written) and formats its
// message only when a logger is present and enabled.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/SafeFormat.h"
#include "foundation/Singleton.h"

namespace kvx::services::logging {

enum LogLevel : int32_t { Fatal = 0, Error = 1, Warn = 2, Info = 3, Debug = 4, Verbose = 5 };

class ILogger {
public:
    struct PersonaeInfo {
        std::string first;
        std::string second;
    };

    virtual ~ILogger() = default;
    virtual void setPersonaeInfo(const PersonaeInfo& info) = 0;
    virtual bool isEnabled() const = 0;
    virtual void log(int32_t level, std::string_view function, std::string_view message) = 0;
    virtual void flush() = 0;
};

// "FATAL" .. "VERBOSE"; negative levels print as "FATAL", 6 and above as "???".
const char* levelName(int32_t level);

// "int kvx::a::f(int) const" -> "kvx::a::f". A return type (text up to the last blank before the
// name) and a parameter list are dropped; "(anonymous namespace)" is kept; leading '*' go.
std::string reduceFunctionName(std::string_view signature);

// The logger when one exists and accepts lines, else nullptr.
inline ILogger* activeLogger() {
    ILogger* logger = foundation::utils::Singleton<ILogger>::tryGet();
    return (logger != nullptr && logger->isEnabled()) ? logger : nullptr;
}

// A line kept back from the logger, to be written when the work that logged it is due.
struct HeldLine {
    int32_t level;
    std::string function;
    std::string message;
};

// While one lives, the lines its thread logs are appended to `lines` instead of written: work done
// ahead of its turn keeps its lines for the moment it would have run.
class ScopedLineHold {
public:
    explicit ScopedLineHold(std::vector<HeldLine>& lines);
    ~ScopedLineHold();
    ScopedLineHold(const ScopedLineHold&) = delete;
    ScopedLineHold& operator=(const ScopedLineHold&) = delete;

private:
    std::vector<HeldLine>* mPrevious;
};

// The calling thread's hold, or nullptr.
std::vector<HeldLine>* heldLinesOfThisThread();
// Writes held lines, in their order, as this thread's own.
void writeHeldLines(const std::vector<HeldLine>& lines);

template <typename... Args>
void logf(int32_t level, std::string_view function, fmt::format_string<Args...> format, Args&&... args) {
    if (std::vector<HeldLine>* held = heldLinesOfThisThread()) {
        held->push_back(
            {level, std::string(function),
             foundation::safeVFormat(static_cast<fmt::string_view>(format), fmt::make_format_args(args...))});
    } else if (ILogger* logger = activeLogger()) {
        logger->log(
            level, function,
            foundation::safeVFormat(static_cast<fmt::string_view>(format), fmt::make_format_args(args...)));
    }
}

}  // namespace kvx::services::logging

#define KVX_LOG(level, ...) ::kvx::services::logging::logf((level), __PRETTY_FUNCTION__, __VA_ARGS__)
// For lines whose function name is part of the program's published log vocabulary.
#define KVX_LOG_AS(function, level, ...) ::kvx::services::logging::logf((level), (function), __VA_ARGS__)

#define KVX_LOG_FATAL(...) KVX_LOG(::kvx::services::logging::Fatal, __VA_ARGS__)
#define KVX_LOG_ERROR(...) KVX_LOG(::kvx::services::logging::Error, __VA_ARGS__)
#define KVX_LOG_WARN(...) KVX_LOG(::kvx::services::logging::Warn, __VA_ARGS__)
#define KVX_LOG_INFO(...) KVX_LOG(::kvx::services::logging::Info, __VA_ARGS__)
#define KVX_LOG_DEBUG(...) KVX_LOG(::kvx::services::logging::Debug, __VA_ARGS__)
#define KVX_LOG_VERBOSE(...) KVX_LOG(::kvx::services::logging::Verbose, __VA_ARGS__)
