#include <windows.h>

#include <algorithm>
#include <thread>

#include "foundation/TextConversion.h"
#include "framework/config/StaticConfiguration.h"
#include "framework/errors/AssertionHandler.h"
#include "framework/errors/Win32StackSymbols.h"

namespace kvx::foundation {
namespace {

// Older systems refuse a skip and capture count summing to 63 or more.
constexpr int kMaxStackFrames = 62;

StackFrame describeFrame(uint64_t address) {
    StackFrame frame;
    if (auto symbol = lookupSymbol(address)) {
        frame.function = std::move(symbol->function);
        frame.functionOffset = symbol->offset;
    }
    CodeLocation location = locateModule(address);
    frame.module = location.module.empty() ? "?" : std::move(location.module);
    frame.moduleOffset = location.moduleOffset;
    return frame;
}

class Win32AssertPlatform final : public IAssertPlatform {
public:
    std::vector<StackFrame> captureStack(int framesToSkip) override {
        // One more frame: this function.
        const int skip = std::clamp(framesToSkip + 1, 0, kMaxStackFrames - 1);
        void* addresses[kMaxStackFrames] = {};
        const USHORT count = RtlCaptureStackBackTrace(
            static_cast<DWORD>(skip), static_cast<DWORD>(kMaxStackFrames - skip), addresses, nullptr);
        std::vector<StackFrame> frames;
        frames.reserve(count);
        // Wine walks on past the thread's first frame; a null return address ends the stack.
        for (USHORT i = 0; i < count && addresses[i] != nullptr; ++i) {
            frames.push_back(describeFrame(reinterpret_cast<uint64_t>(addresses[i])));
        }
        return frames;
    }

    bool isDebuggerAttached() override { return IsDebuggerPresent() != FALSE; }

    void writeToDebugger(std::string_view text) override {
        OutputDebugStringW(toWideChar(text, true, KVX_SOURCE_LOCATION).c_str());
    }

    void breakIntoDebugger() override { DebugBreak(); }

    void showDetachedMessageBox(std::string text) override {
        std::thread([wide = toWideChar(text, true, KVX_SOURCE_LOCATION)] {
            MessageBoxW(nullptr, wide.c_str(), L"Assert Failed",
                        MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
        }).detach();
    }
};

}  // namespace

AssertHandler makeAssertionHandler() {
    return makeAssertionHandler(
        {std::make_shared<Win32AssertPlatform>(), [] { return apps::processConfigurable().value(); }});
}

}  // namespace kvx::foundation
