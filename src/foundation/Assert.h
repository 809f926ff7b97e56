#pragma once
// The one entry point of every internal consistency check. A failed check is reported to the
// process-wide handler and the code after it goes on; nothing here ends the program.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/SafeFormat.h"

namespace kvx::foundation {

enum class AssertLevel : int32_t { Fatal = 0, Error = 1, Warning = 2, Debug = 3 };

// Condition text of checks that have no condition of their own.
inline constexpr const char* kUnconditionalAssert = "kUnconditionalAssert";

struct AssertReport {
    AssertLevel level;
    std::string_view condition;
    std::string_view file;  // empty: the program does not record source files
    int line;
    std::string_view function;
    std::string_view message;
    int framesToSkip;
};

using AssertHandler = std::function<void(const AssertReport&)>;

// "Fatal", "Error", "Warning", "Debug", or "unknown" for any other value.
const char* assertLevelName(AssertLevel level);

// Replaces the process-wide handler (an empty handler removes it) and returns the previous one.
AssertHandler setAssertHandler(AssertHandler handler);

// Calls the handler when one is installed and this thread is not already inside it.
void assertFailed(AssertLevel level, std::string_view condition, std::string_view function, std::string_view message,
                  int line = 0, int framesToSkip = 0);

}  // namespace kvx::foundation

#define KVX_ASSERT(level, condition, ...)                                                                        \
    do {                                                                                                         \
        if (!(condition)) {                                                                                      \
            ::kvx::foundation::assertFailed((level), #condition, __PRETTY_FUNCTION__,                            \
                                            ::kvx::foundation::safeFormat(__VA_ARGS__), __LINE__);              \
        }                                                                                                        \
    } while (false)

#define KVX_ASSERT_ALWAYS(level, ...)                                                                            \
    ::kvx::foundation::assertFailed((level), ::kvx::foundation::kUnconditionalAssert, __PRETTY_FUNCTION__,       \
                                    ::kvx::foundation::safeFormat(__VA_ARGS__), __LINE__)
