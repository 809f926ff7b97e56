#include "process/ClientLaunch.h"

#include "foundation/Logging.h"

namespace kvx::apps {

void startClient(const destager::DestagerOptions& options, int32_t result) {
    // TODO(pending): relaunch as the interactive user (shell automation, session token, own
    // credentials). Until then nothing is started and the line below says so.
    KVX_LOG_AS("kvx::apps::startClient", services::logging::Error,
               "Relaunch is not available yet, nothing is started; attended[{}], result[{}]",
               options.attended, result);
}

}  // namespace kvx::apps
