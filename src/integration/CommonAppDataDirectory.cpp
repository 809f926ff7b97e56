#include "integration/CommonAppDataDirectory.h"

#include "foundation/Logging.h"
#include "foundation/Retry.h"
#include "foundation/paths/TamrinUtils.h"
#include "foundation/security/ProtectedDirectory.h"
#include "integration/AppKey.h"
#include "process/BackgroundService.h"

namespace kvx::apps {

namespace {

constexpr const char* kCreatedValue = "CommonAppPathCreated";
// The service holds its files in the directory, which is emptied.
constexpr int64_t kServiceStopTimeoutMs = 15000;

}  // namespace

CommonAppDataSteps systemCommonAppDataSteps() {
    return CommonAppDataSteps{
        .stopBackgroundService = [](int64_t timeoutMs) { (void)stopBgService(timeoutMs); },
        .createDirectory =
            [](const fs::Path& directory, const fs::Path& prefix) {
                return foundation::security::createAdminOwnedDirectory(directory, prefix, true, false);
            },
    };
}

bool createCommonAppDataDirectory() {
    return createCommonAppDataDirectory(systemCommonAppDataSteps());
}

bool commonAppDataDirectoryProtected() { return openAppKey(false, true).get<uint32_t>(kCreatedValue) == 1; }

bool createCommonAppDataDirectory(const CommonAppDataSteps& steps) {
    if (openAppKey(true, true).get<uint32_t>(kCreatedValue) != 0) {
        return true;
    }
    const fs::Path built = foundation::tamrinPathConstructorHelper(foundation::SpecialDirectory::programData,
                                                                   "Korv Desktop\\", "", false);
    if (built.empty()) {
        return false;
    }
    // Built with a trailing separator; its parent is ProgramData, the one folder it may lie in.
    const fs::Path directory = built.filename().empty() ? built.parent() : built;
    const fs::Path prefix = directory.parent();
    steps.stopBackgroundService(kServiceStopTimeoutMs);
    foundation::ExponentialBackoff backoff(10, 1000, 1.75f, 15000);
    const bool created = foundation::tryUntilOk(
        [&] { return steps.createDirectory(directory, prefix) == foundation::security::kDirectoryCreated; },
        [&](uint8_t attempt) {
            KVX_LOG_ERROR("Failed to create common app data directory [{}]; attempt {}", directory.utf8(),
                          attempt);
        },
        backoff);
    if (created) {
        (void)openAppKey(true, true).set(kCreatedValue, uint32_t{1});
        (void)openAppKey(true, false).set(kCreatedValue, uint32_t{1});
    }
    return created;
}

}  // namespace kvx::apps
