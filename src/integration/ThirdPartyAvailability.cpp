#include "integration/ThirdPartyAvailability.h"

#include <chrono>

#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "framework/config/ConfigSystem.h"
#include "integration/AppKey.h"
#include "integration/GameCatalogExtension.h"
#include "integration/RegistrationTexts.h"
#include "integration/UninstallEntries.h"

namespace kvx::apps::suite {

namespace {

// Launchers that read the flag just before it was set get this long to finish their launch.
constexpr std::chrono::milliseconds kUnavailableGrace{2000};

bool skipThirdPartyKeys() {
    const auto* config = foundation::utils::Singleton<config::ConfigSystem>::tryGet();
    return config != nullptr && config->getBool("machine.qa.skipThirdPartyKeys", false);
}

bool blankProtocolCommands() {
    bool ok = true;
    for (const ProtocolRow& row : protocolTable()) {
        foundation::RegistryKey command(HKEY_CLASSES_ROOT, protocolCommandKey(row.protocol), true, true);
        ok &= command.set("", std::wstring_view());
    }
    return ok;
}

}  // namespace

bool setThirdPartyAvailability(bool available) {
    KVX_LOG_DEBUG("Changing third party availability, new value[{}]",
                  available ? "available" : "not available");
    if (skipThirdPartyKeys()) {
        return true;
    }
    return setThirdPartyAvailabilityRegistryKeys(available);
}

bool setThirdPartyAvailabilityRegistryKeys(bool available) {
    foundation::RegistryKey appKey32 = openAppKey(true, false);
    foundation::RegistryKey appKey64 = openAppKey(true, true);
    const uint32_t previous = appKey64.get<uint32_t>("IsUnavailable");
    const uint32_t flag = available ? 0 : 1;
    bool ok = appKey32.set("IsUnavailable", flag);
    ok &= appKey64.set("IsUnavailable", flag);
    if (available) {
        ok &= enableComServer();
    } else {
        if (previous == 0) {
            foundation::clock().sleepFor(kUnavailableGrace);
        }
        ok &= blankProtocolCommands();
        ok &= disableComServer();
    }
    updateUninstallStrings();
    if (!ok) {
        if (available) {
            KVX_LOG_ERROR(
                "Failed to update one or more registry keys while leaving repair mode, may cause issues "
                "with game launching via KorvConnect and Link2Korv");
        } else {
            KVX_LOG_ERROR(
                "Failed to update one or more registry keys while entering repair mode, may cause issues "
                "with client updates or app recovery");
        }
    }
    appKey32.close();
    appKey64.close();
    return ok;
}

bool enableComServer() {
    auto installed = services::comInstall::installComServer();
    if (installed.isError()) {
        KVX_LOG_AS("kvx::apps::suite::enableComServer", services::logging::Error, "{}",
                   installed.peekError());
        return false;
    }
    return true;
}

bool disableComServer() {
    auto disabled = services::comInstall::disableComServer();
    if (disabled.isError()) {
        KVX_LOG_AS("kvx::apps::suite::disableComServer", services::logging::Error, "{}",
                   disabled.peekError());
        return false;
    }
    return true;
}

}  // namespace kvx::apps::suite
