// Linked only into the crash-test build of the destager (KorvDestagerCrashPoints.exe): stops the
// process hard, the way power loss or a kill would, or throws as a failed check would, at the step
// its environment names.
#ifndef KVX_CRASH_POINTS
#error "the crash-point hook belongs to the crash-test destager only"
#endif

#include <windows.h>

#include <stdexcept>
#include <string_view>

#include "CrashStepNames.h"
#include "PartlyRemovingFilesystem.h"

namespace kvx::apps::destager::crash {
namespace {

constexpr DWORD kStepNameRoom = 64;

bool isNamedBy(const wchar_t* variable, CrashStep step) {
    wchar_t wanted[kStepNameRoom];
    const DWORD length = GetEnvironmentVariableW(variable, wanted, kStepNameRoom);
    return length > 0 && length < kStepNameRoom && std::wstring_view(wanted, length) == crashStepName(step);
}

void stopHardAtNamedStep(CrashStep step) {
    // Unreachable under Wine, which makes no link to revert; kept so that a machine with links can.
    if (step == CrashStep::revertOldFolderRemoval &&
        isNamedBy(kCrashStepVariable, CrashStep::revertOldFolderPartlyRemoved)) {
        stopTheNextRemovalPartway();
    }
    if (isNamedBy(kCrashStepVariable, step)) {
        // No unwinding, no flushing: whatever the step left on disk is what the next run finds.
        TerminateProcess(GetCurrentProcess(), kCrashExitCode);
    }
    static bool thrown = false;  // once: the run then goes on as after any failed check there
    if (!thrown && isNamedBy(kThrowStepVariable, step) && (thrown = true)) {
        throw std::logic_error("Unwrapping error/invalid as success");
    }
}

// Set before WinMain runs; the hook variable is constant-initialized, so the order is safe.
const bool gCrashHookInstalled = (setCrashHook(&stopHardAtNamedStep), true);

}  // namespace
}  // namespace kvx::apps::destager::crash
