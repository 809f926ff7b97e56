#pragma once
// Log files on disk through Win32, and the logs folder of this process.

#include <memory>
#include <string>

#include "foundation/Result.h"
#include "framework/logging/LogStorage.h"
#include "framework/logging/ThreadedLogger.h"

namespace kvx::services::logging {

std::shared_ptr<ILogStorage> makeWin32LogStorage();

// The storage above, with the default idle flush and masking from the configuration.
LoggerEnvironment win32LoggerEnvironment();

// Whether the process runs as the local system account or with administrator rights.
bool isElevatedOrSystem();

// The logs folder for this process (the folder itself may not exist yet).
Result<std::string, std::string> defaultLogsFolder();

}  // namespace kvx::services::logging
