#include "integration/InstallLocation.h"

#include <windows.h>
#include <shellapi.h>

#include "foundation/Logging.h"
#include "foundation/fs/Path.h"
#include "foundation/win/SystemMemory.h"
#include "integration/AppKey.h"
#include "process/BackgroundService.h"
#include "process/ServiceControlManager.h"

namespace kvx::apps::utils {

std::string getInstallLocation() {
    std::string location = openAppKey(false, true).get<std::string>("InstallLocation");
    if (!location.empty()) {
        return location;
    }
    return getInstallLocationFromBgsService();
}

std::string getInstallLocationFromBgsService() {
    auto servicePath = services::platform::ServiceControlManager::getServicePath(kBgServiceName);
    if (servicePath.isError()) {
        KVX_LOG_WARN("Failed to get install location from BGS service, {}", servicePath.peekError());
        return "";
    }
    const fs::Path commandLine = servicePath.unwrap();
    if (commandLine.empty()) {
        KVX_LOG_ERROR("Could not find the path to the BGS service executable");
        return "";
    }
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(commandLine.c_str(), &count);
    const WinUtils::UniqueLocalMemory<wchar_t**> owned(arguments);
    if (!owned) {
        return "";
    }
    std::string location;
    if (count >= 1) {
        location = fs::Path(arguments[0]).parent().parent().utf8();
    }
    return location;
}

}  // namespace kvx::apps::utils
