// Linked only into the crash-test build of the destager (KorvDestagerCrashPoints.exe): stops the
// process hard, the way power loss or a kill would, at the step its environment names.
#ifndef KVX_CRASH_POINTS
#error "the crash-point hook belongs to the crash-test destager only"
#endif

#include <windows.h>

#include <string_view>

#include "CrashStepNames.h"

namespace kvx::apps::destager::crash {
namespace {

constexpr DWORD kStepNameRoom = 64;

void stopHardAtNamedStep(CrashStep step) {
    wchar_t wanted[kStepNameRoom];
    const DWORD length = GetEnvironmentVariableW(kCrashStepVariable, wanted, kStepNameRoom);
    if (length == 0 || length >= kStepNameRoom || std::wstring_view(wanted, length) != crashStepName(step)) {
        return;
    }
    // No unwinding, no flushing: whatever the step left on disk is what the next run finds.
    TerminateProcess(GetCurrentProcess(), kCrashExitCode);
}

// Set before WinMain runs; the hook variable is constant-initialized, so the order is safe.
const bool gCrashHookInstalled = (setCrashHook(&stopHardAtNamedStep), true);

}  // namespace
}  // namespace kvx::apps::destager::crash
