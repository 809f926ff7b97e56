#pragma once
// Whether other launchers may use the suite: cleared while it is being replaced.

namespace kvx::apps::suite {

// True when every change succeeded.
bool setThirdPartyAvailability(bool available);

}  // namespace kvx::apps::suite
