#include "integration/ThirdPartyAvailability.h"

#include "foundation/Logging.h"

namespace kvx::apps::suite {

// TODO(pending): third party availability (install integration)
// Changes nothing yet, so it must not claim success.
bool setThirdPartyAvailability(bool available) {
    KVX_LOG_ERROR("Third party availability is not available yet, nothing is changed; available[{}]", available);
    return false;
}

}  // namespace kvx::apps::suite
