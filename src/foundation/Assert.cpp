#include "foundation/Assert.h"

#include <mutex>

namespace kvx::foundation {
namespace {

std::mutex& handlerMutex() {
    static std::mutex m;
    return m;
}

AssertHandler& handlerSlot() {
    static AssertHandler handler;
    return handler;
}

// A check that fails inside the handler (for example while it logs) must not recurse.
thread_local bool tInsideHandler = false;

}  // namespace

const char* assertLevelName(AssertLevel level) {
    switch (level) {
        case AssertLevel::Fatal: return "Fatal";
        case AssertLevel::Error: return "Error";
        case AssertLevel::Warning: return "Warning";
        case AssertLevel::Debug: return "Debug";
    }
    return "unknown";
}

AssertHandler setAssertHandler(AssertHandler handler) {
    std::lock_guard lock(handlerMutex());
    std::swap(handlerSlot(), handler);
    return handler;
}

void assertFailed(AssertLevel level, std::string_view condition, std::string_view function, std::string_view message,
                  int line, int framesToSkip) {
    if (tInsideHandler) {
        return;
    }
    AssertHandler handler;
    {
        std::lock_guard lock(handlerMutex());
        handler = handlerSlot();
    }
    if (!handler) {
        return;
    }
    struct Guard {
        Guard() { tInsideHandler = true; }
        ~Guard() { tInsideHandler = false; }
    } guard;
    handler(AssertReport{level, condition, {}, line, function, message, framesToSkip + 1});
}

}  // namespace kvx::foundation
