#include "integration/ProtocolHandlers.h"

#include <fmt/format.h>

#include "foundation/Logging.h"
#include "foundation/fs/IFilesystem.h"
#include "foundation/fs/Path.h"
#include "framework/config/ConfigSystem.h"
#include "integration/AppDirectories.h"
#include "integration/AppKey.h"
#include "integration/InstallLocation.h"
#include "integration/RegistrationTexts.h"

namespace kvx::systemUtils {

namespace {

using foundation::RegistryKey;

constexpr const char* kPellamKey = "Software\\Pellam";
constexpr const char* kKorvDmKey = "Software\\Tessory\\KorvDM";
constexpr const char* kPellamCommandKey = "pellam\\shell\\open\\command";
constexpr const char* kPellam2CommandKey = "pellam2\\shell\\open\\command";

RegistryKey classesKey(std::string_view path) {
    return RegistryKey(HKEY_CLASSES_ROOT, path, true, true);
}

bool fileExists(const std::string& utf8Path) {
    auto exists = fs::filesystem().exists(fs::Path::fromUtf8(utf8Path));
    return exists.isOk() && exists.peek();
}

const config::ConfigSystem* config() {
    return foundation::utils::Singleton<config::ConfigSystem>::tryGet();
}

bool updateProtocol(size_t row) {
    const apps::suite::ProtocolRow& protocol = apps::suite::protocolTable()[row];
    const std::string path = getProtocolAppPath(protocol.appKeyValue, protocol.executable);
    if (path.empty()) {
        KVX_LOG_INFO("{}", protocol.missingMessage);
        return false;
    }
    return registerProtocol(protocol.protocol, protocol.description,
                            apps::suite::protocolCommand(protocol, path));
}

}  // namespace

bool overwriteProtocolAndSdkPaths() {
    RegistryKey appKey = apps::openAppKey(true, true);
    appKey.deleteValue("");
    bool ok = overwritePellamRegistryKeys();
    // The connector's registration depends on the legacy client path being known.
    if (ok) {
        ok = updateKorvConnectRegistryKeys();
    }
    ok &= updateLink2KorvRegistryKeys();
    ok &= updateSteam2KorvRegistryKeys();
    ok &= updateEpic2KorvRegistryKeys();
    ok &= updateLuna2KorvRegistryKeys();
    if (!ok) {
        KVX_LOG_AS(
            "kvx::systemUtils::overwriteProtocolAndSdkPaths", services::logging::Error,
            "Failed to update registry keys, this may cause launch issues if there was a recent update "
            "which erased any of these keys");
    }
    appKey.close();
    return ok;
}

std::string getProtocolAppPath(std::string_view appKeyValue, std::string_view executable) {
    RegistryKey appKey = apps::openAppKey(true, true);
    if (std::string path = appKey.get<std::string>(appKeyValue); !path.empty()) {
        return path;
    }
    KVX_LOG_DEBUG("{} app path missing, attempting repair", executable);
    const std::string location = apps::utils::getInstallLocation();
    if (location.empty()) {
        KVX_LOG_INFO("Korv app Install Location key is not present (installer may not have been run)");
        return "";
    }
    const std::string candidate =
        (fs::Path::fromUtf8(location) / L"Korv Desktop" / fs::Path::fromUtf8(executable)).utf8();
    if (!fileExists(candidate)) {
        KVX_LOG_INFO("{} app not found at path [{}] (installer may not have been run)", executable,
                     candidate);
        return "";
    }
    KVX_LOG_DEBUG("Setting {} app path to [{}]", executable, candidate);
    appKey.set(appKeyValue, std::string_view(candidate));
    return candidate;
}

bool registerProtocol(std::string_view protocol, std::string_view description, std::string_view command) {
    RegistryKey protocolKey = classesKey(protocol);
    RegistryKey commandKey = classesKey(apps::suite::protocolCommandKey(protocol));
    if (protocolKey.get<std::string>("") == description && protocolKey.valueExists("URL Protocol") &&
        commandKey.get<std::string>("") == command) {
        return true;
    }
    KVX_LOG_INFO("Updating Korv Connect registry keys, protocolValue[{}], protocolCommandValue[{}]",
                 description, command);
    bool ok = protocolKey.set("", description);
    ok &= protocolKey.set("URL Protocol", std::string_view());
    ok &= commandKey.set("", command);
    return ok;
}

bool overwritePellamRegistryKeys() {
    KVX_LOG_DEBUG("Overwriting Pellam's protocol/client path registry keys (if necessary)");
    const RegistryKey appKey = apps::openAppKey(true, false);
    std::string clientPath = appKey.get<std::string>("ClientPath");
    std::string launcherPath = appKey.get<std::string>("LauncherAppPath");
    if (config() != nullptr && config()->getBool("app.overridePellamRegistry", false)) {
        const auto inFolder = [](const std::string& folder, const char* executable) {
            return (fs::Path::fromUtf8(folder) / fs::Path::fromUtf8(executable)).utf8();
        };
        clientPath = config()->getString("app.clientPath",
                                         inFolder(apps::utils::getDesktopDirectory(), "KorvDesktop.exe"));
        launcherPath = config()->getString("app.launcherPath",
                                           inFolder(apps::utils::getLauncherDirectory(), "KorvLauncher.exe"));
    }
    if (clientPath.empty()) {
        KVX_LOG_INFO("Korv app ClientPath Key is not present");
        return false;
    }
    RegistryKey pellam(HKEY_LOCAL_MACHINE, kPellamKey, false, true);
    RegistryKey pellamCommand = classesKey(kPellamCommandKey);
    RegistryKey pellam2Command = classesKey(kPellam2CommandKey);
    const std::string command = apps::suite::legacyProtocolCommand(launcherPath);
    if (pellam.get<std::string>("ClientPath") == clientPath &&
        pellamCommand.get<std::string>("") == command && pellam2Command.get<std::string>("") == command) {
        KVX_LOG_INFO("Pellam Keys have already been set, no need to reset them.");
        return true;
    }
    bool ok = pellam.set("ClientPath", std::string_view(clientPath));
    ok &= RegistryKey(HKEY_LOCAL_MACHINE, kKorvDmKey, false, true)
              .set("ClientPath", std::string_view(clientPath));
    ok &= pellamCommand.set("", std::string_view(command));
    ok &= pellam2Command.set("", std::string_view(command));
    return ok;
}

bool updateKorvConnectRegistryKeys() {
    return updateProtocol(0);
}
bool updateLink2KorvRegistryKeys() {
    return updateProtocol(1);
}
bool updateSteam2KorvRegistryKeys() {
    return updateProtocol(2);
}
bool updateEpic2KorvRegistryKeys() {
    return updateProtocol(3);
}
bool updateLuna2KorvRegistryKeys() {
    return updateProtocol(4);
}

}  // namespace kvx::systemUtils
