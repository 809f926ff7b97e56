#include "integration/UninstallEntries.h"

#include "foundation/Logging.h"

namespace kvx::apps::suite {

// TODO(pending): uninstall strings and entries (third party availability and bundle id)
void updateUninstallStrings() { KVX_LOG_WARN("Updating the uninstall strings is not available yet; nothing changed"); }

// TODO(pending): uninstall strings and entries (third party availability and bundle id)
void updateUninstallEntries() { KVX_LOG_WARN("Updating the uninstall entries is not available yet; nothing changed"); }

}  // namespace kvx::apps::suite
