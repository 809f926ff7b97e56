#include "integration/ThirdPartyAvailability.h"

namespace kvx::apps::suite {

// TODO(pending): third party availability (install integration)
// Changes nothing yet, so it must not claim success.
bool setThirdPartyAvailability(bool /*available*/) { return false; }

}  // namespace kvx::apps::suite
