#include "process/ShutdownTimeout.h"

#include "foundation/Logging.h"

namespace kvx::apps {

// TODO(pending): the guard thread with its configured duration, the "ShutdownErrors" record and the
// crash/terminate modes. Until then shutdown runs unguarded.
ShutdownTimeout::~ShutdownTimeout() = default;

void ShutdownTimeout::init(bool /*terminateByDefault*/) {}

void ShutdownTimeout::stopSignalReceived() {
    if (mStarted) {
        return;
    }
    mStarted = true;
    KVX_LOG_AS("kvx::apps::ShutdownTimeout::stopSignalReceived", services::logging::Info,
               "Shutdown guard is not available yet, teardown runs unguarded");
}

}  // namespace kvx::apps
