#include "integration/ProtocolHandlers.h"

#include "foundation/Logging.h"

namespace kvx::systemUtils {

bool overwriteProtocolAndSdkPaths() {
    // TODO(pending): protocol handler and legacy client key repair. Until it exists the command lines
    // blanked while the suite was unavailable stay blank, so this reports failure.
    KVX_LOG_AS("kvx::systemUtils::overwriteProtocolAndSdkPaths", services::logging::Error,
               "Protocol and legacy key repair is not available yet");
    return false;
}

}  // namespace kvx::systemUtils
