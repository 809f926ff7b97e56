#include "process/InstallPathValidation.h"

#include <string>

#include "foundation/Logging.h"
#include "foundation/TextConversion.h"
#include "foundation/fs/PathRules.h"
#include "foundation/update/ResultCodes.h"

namespace kvx::apps {

namespace {

constexpr const char* kValidateFunction = "kvx::apps::validateInstallPath";

}  // namespace

int32_t validateInstallPath(std::wstring_view installLocation, std::wstring_view executablePath) {
    if (installLocation.empty()) {
        KVX_LOG_AS(kValidateFunction, services::logging::Error, "Unable to determine install location");
        return kInstallLocationUnknown;
    }
    const std::string location = foundation::narrow(installLocation, KVX_SOURCE_LOCATION);
    const std::string executable = foundation::narrow(executablePath, KVX_SOURCE_LOCATION);
    if (fs::startsWithFoldingAsciiCase(executable, location)) {
        return kDestageSuccess;
    }
    KVX_LOG_AS(kValidateFunction, services::logging::Error, "Destager not running from install folder");
    return kDestagerNotInInstallFolder;
}

}  // namespace kvx::apps
