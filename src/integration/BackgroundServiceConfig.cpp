#include "integration/BackgroundServiceConfig.h"

#include <sddl.h>
#include <windows.h>

#include <fmt/xchar.h>

#include "foundation/Logging.h"
#include "foundation/TextConversion.h"
#include "foundation/fs/IFilesystem.h"
#include "foundation/win/UniqueHandle.h"
#include "process/BackgroundService.h"
#include "process/Win32Service.h"

namespace kvx::apps::destager::internal {

namespace {

using services::platform::OpenResult;
using services::platform::ServiceOpenState;

constexpr uint32_t kServiceAllAccess = 0xF01FF;     // SERVICE_ALL_ACCESS
constexpr uint32_t kManagerCreateAndEnumerate = 6;  // SC_MANAGER_CREATE_SERVICE | ENUMERATE

struct SecurityDescriptorTraits {
    using Type = PSECURITY_DESCRIPTOR;
    static Type invalid() { return nullptr; }
    static bool isValid(Type descriptor) { return descriptor != nullptr; }
    static void close(Type descriptor) { LocalFree(descriptor); }
};

bool executableExists(std::string_view path) {
    auto exists = fs::filesystem().exists(fs::Path::fromUtf8(path));
    return exists.isOk() && exists.peek();
}

}  // namespace

Result<void, std::string> configureService(std::string_view name, std::string_view description,
                                           services::platform::ServiceStartType startType,
                                           std::string_view executablePath, std::string_view sddl) {
    const std::string sddlText(sddl);
    PSECURITY_DESCRIPTOR converted = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddlText.c_str(), SDDL_REVISION_1, &converted,
                                                              nullptr)) {
        return Err{fmt::format("Invalid SDDL string [{}]", sddl)};
    }
    const WinUtils::UniqueHandle<SecurityDescriptorTraits> descriptor(converted);
    if (!executableExists(executablePath)) {
        return Err{std::string("Executable path does not exist")};
    }
    ServiceOpenState service(name, kServiceAllAccess, kManagerCreateAndEnumerate);
    const std::wstring imagePath =
        fmt::format(L"\"{}\"", foundation::widen(executablePath, KVX_SOURCE_LOCATION));
    switch (service.openResult()) {
        case OpenResult::Opened:
            if (!ChangeServiceConfigW(service.serviceHandle(), SERVICE_NO_CHANGE,
                                      services::platform::toWindowsStartType(startType), SERVICE_NO_CHANGE,
                                      imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr)) {
                return Err{std::string("Failed to update service configuration")};
            }
            break;
        case OpenResult::NotPresent:
            if (!service.create(kServiceAllAccess, startType, imagePath, nullptr)) {
                return Err{std::string("Failed to create service")};
            }
            break;
        case OpenResult::Error:
            return Err{std::string("Failed to open SCM")};
    }
    std::wstring wideDescription = foundation::widen(description, KVX_SOURCE_LOCATION);
    SERVICE_DESCRIPTIONW serviceDescription{wideDescription.data()};
    if (!ChangeServiceConfig2W(service.serviceHandle(), SERVICE_CONFIG_DESCRIPTION, &serviceDescription)) {
        return Err{std::string("Failed to update service description")};
    }
    if (!SetServiceObjectSecurity(service.serviceHandle(), DACL_SECURITY_INFORMATION, descriptor.get())) {
        return Err{std::string("Failed to update service permissions")};
    }
    return Ok{};
}

void updateBackgroundServiceConfig(const DestageContext& context) {
    auto configured = configureService(kBgServiceName, kBgServiceDescription,
                                       services::platform::ServiceStartType::OnDemand,
                                       context.backgroundServiceExePath.utf8(), kBgServiceSddl);
    if (configured.isError()) {
        KVX_LOG_AS("kvx::apps::destager::internal::updateBackgroundServiceConfig", services::logging::Error,
                   "Failed to update background service config: [{}]", configured.peekError());
    }
}

}  // namespace kvx::apps::destager::internal
