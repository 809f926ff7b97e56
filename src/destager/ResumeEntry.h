#pragma once
// The way back after a crash in the middle of a swap: while the client path may be empty, Windows
// is told to run the staged destager again, elevated, at the next start (a RunOnce value whose
// leading "!" keeps it until the command has run). That run finds the half-done swap and ends it.

#include "foundation/update/DestageContext.h"

namespace kvx::apps::destager::internal {

// Under HKEY_LOCAL_MACHINE, 64-bit view.
inline constexpr const char* kRunOnceKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr const char* kResumeValueName = "!KorvDestagerResume";

// Just before a step that can leave the client path empty. A failure is logged and recorded; the
// update goes on without a way back.
void registerResume(const DestageContext& context);

// Once the install is whole again; nothing to do when no value is there.
void unregisterResume();

}  // namespace kvx::apps::destager::internal
