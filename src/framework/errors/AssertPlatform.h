#pragma once
// What the assertion handler needs from the operating system, behind an interface so the handler's
// decisions can be checked without a debugger or a real dialog.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvx::foundation {

struct StackFrame {
    std::string function;  // empty when no symbol is known
    uint64_t functionOffset = 0;
    std::string module;
    uint64_t moduleOffset = 0;
};

class IAssertPlatform {
public:
    virtual ~IAssertPlatform() = default;
    // The caller's stack, without this call's own frames and `framesToSkip` more.
    virtual std::vector<StackFrame> captureStack(int framesToSkip) = 0;
    virtual bool isDebuggerAttached() = 0;
    virtual void writeToDebugger(std::string_view text) = 0;
    virtual void breakIntoDebugger() = 0;
    // Shows the text on a thread of its own and returns at once: the asserting thread goes on.
    virtual void showDetachedMessageBox(std::string text) = 0;
};

}  // namespace kvx::foundation
