#include "destager/ResumeEntry.h"

#include <string>

#include "destager/ErrorTelemetry.h"
#include "foundation/Logging.h"
#include "foundation/registry/RegistryKey.h"

namespace kvx::apps::destager::internal {

void registerResume(const DestageContext& context) {
    foundation::RegistryKey key(HKEY_LOCAL_MACHINE, kRunOnceKeyPath, true, true);
    if (key.set(kResumeValueName, std::string_view(context.resumeCommand))) {
        KVX_LOG_INFO("Registered resume after restart, value[{}], command[{}]", kResumeValueName,
                     context.resumeCommand);
        return;
    }
    const std::string reason = key.isValid()
                                   ? std::string("value not written")
                                   : foundation::safeFormat("key not opened, status[{}]", key.status());
    KVX_LOG_WARN("Failed to register resume after restart, value[{}]: {}", kResumeValueName, reason);
    addErrorTelemetry(kUpecDiagnostics, kSeverityDiag, "Failed to register resume after restart: {}", reason);
}

void unregisterResume() {
    foundation::RegistryKey key =
        foundation::RegistryKey::openWritable(HKEY_LOCAL_MACHINE, kRunOnceKeyPath, true);
    if (!key.valueExists(kResumeValueName)) {
        return;
    }
    if (key.deleteValue(kResumeValueName)) {
        KVX_LOG_INFO("Removed resume after restart, value[{}]", kResumeValueName);
    } else {
        KVX_LOG_WARN("Failed to remove resume after restart, value[{}]", kResumeValueName);
    }
}

}  // namespace kvx::apps::destager::internal
