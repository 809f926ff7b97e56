#include "UpdateEventHolder.h"

#include <windows.h>

#include "SandboxProcesses.h"
#include "SandboxWaits.h"
#include "foundation/win/AutoHandle.h"

namespace kvx::sandbox {

namespace {

constexpr const wchar_t* kReleaseEvent = L"Global\\KorvSandbox::ReleaseUpdateInProgress";
constexpr DWORD kHolderStartMs = 10000;
constexpr DWORD kHolderEndMs = 10000;
// A forgotten holder must not block every later update of the prefix for ever.
constexpr DWORD kLongestHoldMs = 60 * 60 * 1000;

}  // namespace

Result<void, std::string> startUpdateEventHolder(const std::filesystem::path& sandboxExe) {
    if (auto started = startProgram(sandboxExe, kHoldCommand); started.isError()) {
        return Err{started.unwrapError()};
    }
    if (!waitUntil(kHolderStartMs, updateEventHeld)) {
        return Err{std::string("the update-in-progress event did not appear")};
    }
    return Ok{};
}

int holdUpdateEvent() {
    // The release event first: once the held one is seen, a release must find it.
    WinUtils::AutoHandle release(CreateEventW(nullptr, TRUE, FALSE, kReleaseEvent));
    WinUtils::AutoHandle held(CreateEventW(nullptr, TRUE, TRUE, kUpdateInProgressEvent));
    if (!held || !release) {
        return 1;
    }
    WaitForSingleObject(release.get(), kLongestHoldMs);
    return 0;
}

void releaseUpdateEventHolder() {
    WinUtils::AutoHandle release(OpenEventW(EVENT_MODIFY_STATE, FALSE, kReleaseEvent));
    if (release) {
        SetEvent(release.get());
        waitUntil(kHolderEndMs, [] { return !updateEventHeld(); });
    }
}

bool updateEventHeld() {
    return static_cast<bool>(WinUtils::AutoHandle(OpenEventW(SYNCHRONIZE, FALSE, kUpdateInProgressEvent)));
}

}  // namespace kvx::sandbox
