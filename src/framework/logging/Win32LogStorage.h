#pragma once
// Log files on disk through Win32, and the logs folder of this process.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Result.h"
#include "framework/logging/LogStorage.h"
#include "framework/logging/ThreadedLogger.h"

namespace kvx::services::logging {

// The programs holding a file open; the processes are known only to the layers above.
using FileHolders = std::function<std::vector<std::string>(const std::string& path)>;

// Without `holders` a file that cannot be renamed is reported with nobody holding it.
std::shared_ptr<ILogStorage> makeWin32LogStorage(FileHolders holders = {});

// The storage above, with the default idle flush and masking from the configuration.
LoggerEnvironment win32LoggerEnvironment(FileHolders holders = {});

// Whether the process runs as the local system account or with administrator rights.
bool isElevatedOrSystem();

// The logs folder for this process (the folder itself may not exist yet).
Result<std::string, std::string> defaultLogsFolder();

}  // namespace kvx::services::logging
