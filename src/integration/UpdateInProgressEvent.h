#pragma once
// The named event that tells other processes (and a second destager) that an update is being
// applied. Authenticated users may only wait on it; SYSTEM and administrators have full access.

#include "foundation/win/AutoHandle.h"

namespace kvx::apps::suite {

inline constexpr const wchar_t* kUpdateInProgressEventName = L"Global\\Korvapp::UpdateInProgress";
inline constexpr const wchar_t* kUpdateInProgressEventSddl =
    L"D:(A;;0x00100000;;;AU)(A;;GA;;;SY)(A;;GA;;;BA)";

// True when the event exists (another destager holds it).
bool isUpdateInProgress();
// Creates the event (manual reset, signalled) into `event`. When the security descriptor cannot be
// built no event is created and nothing is reported; `event` then stays empty.
void createUpdateInProgressEvent(WinUtils::AutoHandle& event);

}  // namespace kvx::apps::suite
