#include "integration/CommonAppDataDirectory.h"

#include "foundation/Logging.h"
#include "foundation/fs/IFilesystem.h"
#include "foundation/paths/TamrinUtils.h"
#include "integration/AppKey.h"

namespace kvx::apps {

bool createCommonAppDataDirectory() {
    // Set once the protected directory has been made; later runs leave it alone.
    if (openAppKey(true, true).get<uint32_t>("CommonAppPathCreated") != 0) {
        return true;
    }
    const fs::Path directory = foundation::tamrinPathConstructorHelper(
        foundation::SpecialDirectory::programData, "Korv Desktop\\", "", false);
    if (directory.empty()) {
        return false;
    }
    // TODO(pending): admin-owned directory creation. Until the protected directory (emptied and owned
    // by the administrators) can be made, a plain folder lets the run go on; "CommonAppPathCreated"
    // stays unwritten because that flag claims the protected directory exists.
    KVX_LOG_WARN("Admin-owned directory creation is not available yet, creating [{}] as a plain folder",
                 directory.utf8());
    auto& filesystem = fs::filesystem();
    (void)filesystem.createDirectories(directory);
    return filesystem.isDirectory(directory);
}

}  // namespace kvx::apps
