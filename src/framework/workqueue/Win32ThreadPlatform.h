#pragma once
// The Windows side of named threads: thread descriptions, ids and per-thread COM.

#include "framework/workqueue/NamedThread.h"

namespace kvx {

// The process-wide Win32 platform, for setThreadPlatform at start-up.
IThreadPlatform& win32ThreadPlatform();

}  // namespace kvx
