#include "foundation/Singleton.h"
#include "framework/config/ConfigSystem.h"
#include "framework/logging/ThreadedLogger.h"

namespace kvx::services::logging {

bool obfuscatorDisabledByConfig() {
    // The logger may open before or without a configuration; then masking stays on.
    const config::ConfigSystem* config = foundation::utils::Singleton<config::ConfigSystem>::tryGet();
    return config != nullptr && config->getBool("logging.disableObfuscator", false);
}

}  // namespace kvx::services::logging
