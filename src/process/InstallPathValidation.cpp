#include "process/InstallPathValidation.h"

#include <algorithm>
#include <string>

#include "destager/ResultCodes.h"
#include "foundation/Logging.h"
#include "foundation/TextConversion.h"

namespace kvx::apps {

namespace {

constexpr const char* kValidateFunction = "kvx::apps::validateInstallPath";

char foldAsciiUpper(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithFoldingAscii(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return foldAsciiUpper(a) == foldAsciiUpper(b); });
}

}  // namespace

int32_t validateInstallPath(std::wstring_view installLocation, std::wstring_view executablePath) {
    if (installLocation.empty()) {
        KVX_LOG_AS(kValidateFunction, services::logging::Error, "Unable to determine install location");
        return kInstallLocationUnknown;
    }
    const std::string location = foundation::narrow(installLocation, KVX_SOURCE_LOCATION);
    const std::string executable = foundation::narrow(executablePath, KVX_SOURCE_LOCATION);
    if (startsWithFoldingAscii(executable, location)) {
        return kDestageSuccess;
    }
    KVX_LOG_AS(kValidateFunction, services::logging::Error, "Destager not running from install folder");
    return kDestagerNotInInstallFolder;
}

}  // namespace kvx::apps
