#pragma once
// Whether other launchers may use the suite: cleared while it is being replaced.

namespace kvx::apps::suite {

// True when every change succeeded, or the QA switch "machine.qa.skipThirdPartyKeys" skipped them.
bool setThirdPartyAvailability(bool available);
// "IsUnavailable" in both views, the blanked protocol commands and the extension's state.
bool setThirdPartyAvailabilityRegistryKeys(bool available);

// The game catalog extension registered again (available) or marked as updating; a failure is
// logged with its own text.
bool enableComServer();
bool disableComServer();

}  // namespace kvx::apps::suite
