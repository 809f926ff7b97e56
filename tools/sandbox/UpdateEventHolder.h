#pragma once
// A second destager already running, as the one being tried meets it: another process holds the
// update-in-progress event until the sandbox releases it.

#include <filesystem>
#include <string>

#include "foundation/Result.h"

namespace kvx::sandbox {

inline constexpr const wchar_t* kUpdateInProgressEvent = L"Global\\Korvapp::UpdateInProgress";
// The korv_sandbox command the holder process runs.
inline constexpr const wchar_t* kHoldCommand = L"hold-update-event";

// Starts `sandboxExe` as the holder and waits until the event exists.
Result<void, std::string> startUpdateEventHolder(const std::filesystem::path& sandboxExe);

// The holder's body: creates the event, keeps it until released (or an hour has passed).
int holdUpdateEvent();

// Releases a holder, if one runs, and waits until the event is gone.
void releaseUpdateEventHolder();

// True while some process holds the event.
bool updateEventHeld();

}  // namespace kvx::sandbox
