// The logger benchmark on Windows: the program's own Win32 log files and thread platform.

#include "LoggerBench.h"
#include "framework/logging/Win32LogStorage.h"
#include "framework/workqueue/Win32ThreadPlatform.h"

namespace kvx::bench {

std::shared_ptr<services::logging::ILogStorage> benchLogStorage() { return services::logging::makeWin32LogStorage(); }

void installBenchThreadPlatform() { setThreadPlatform(&win32ThreadPlatform()); }

const char* benchPlatformName() { return "wine"; }

}  // namespace kvx::bench
