#include "integration/Shortcuts.h"

#include "foundation/Logging.h"

namespace kvx::apps::destager::internal {

// TODO(pending): shortcuts (shell links and the suite's directories)
void createDesktopShortcut(const DestagerOptions& /*options*/) {
    KVX_LOG_WARN("Creating the desktop shortcut is not available yet; nothing changed");
}

// TODO(pending): shortcuts (shell links and the suite's directories)
void createStartMenuShortcuts() { KVX_LOG_WARN("Creating the start menu shortcuts is not available yet; nothing changed"); }

// TODO(pending): shortcuts (shell links and the suite's directories)
void createAppRecoveryShortcut(const DestageContext& /*context*/) {
    KVX_LOG_WARN("Creating the app recovery shortcut is not available yet; nothing changed");
}

}  // namespace kvx::apps::destager::internal
