#include "framework/config/AppConfigUtil.h"

#include <array>

#include <fmt/format.h>

#include "foundation/Assert.h"
#include "foundation/Logging.h"
#include "framework/config/Modes.h"
#include "framework/config/RccContainer.h"

namespace kvx::apps {
namespace {

using config::kScopeStatic;
using config::Store;

constexpr const char* kOverrideLoader = "kvx::apps::AppConfigUtil::loadOverrideConfigs";
constexpr const char* kUnknownEnvironment =
    "Unknown environment [{}] in configuration, using production.\n\nTo switch to a different environment, update "
    "your configuration file, then restart the app and the background service.";

Result<std::string, std::string> readWith(const ConfigPlatform& platform, const std::string& path) {
    if (!platform.readFile) {
        return Err{std::string("no file access")};
    }
    return platform.readFile(path);
}

}  // namespace

std::string lunaMarker() {
    // Kept out of the binary's plain strings: two halves combined at run time.
    constexpr std::array<uint8_t, 16> kMask{0x5a, 0x13, 0x77, 0x21, 0x4e, 0x09, 0x6b, 0x30,
                                            0x1d, 0x62, 0x45, 0x38, 0x27, 0x71, 0x0c, 0x54};
    constexpr std::array<uint8_t, 16> kMasked{0x16, 0x66, 0x19, 0x40, 0x63, 0x6b, 0x24, 0x62,
                                              0x5b, 0x4f, 0x0b, 0x79, 0x69, 0x30, 0x3d, 0x66};
    std::string marker(16, '\0');
    for (size_t i = 0; i < marker.size(); ++i) {
        marker[i] = static_cast<char>(kMask[i] ^ kMasked[i]);
    }
    return marker;
}

std::string AppConfigUtil::developerFile(std::string_view name) const {
    return mPlatform.developerFolder + std::string(name);
}

bool AppConfigUtil::loadResourceConfig(std::string_view resourcePath) {
    auto bytes = mResources.lookup(resourcePath);
    if (bytes.isError()) {
        return false;
    }
    KVPs pairs;
    pairs.addFromTomlString(bytes.peek());
    mConfig.setBulk(pairs, kScopeStatic, false);
    return true;
}

Result<void, std::string> AppConfigUtil::loadPlainConfig(const std::string& path, bool toOverrideStore,
                                                         config::ConfigScope scope) {
    auto text = readWith(mPlatform, path);
    if (text.isError()) {
        return Err{fmt::format("Unable to open file: [{}] ! {}", path, text.peekError())};
    }
    KVPs pairs;
    pairs.addFromTomlString(text.peek());
    mConfig.setBulk(pairs, scope, toOverrideStore);
    return Ok{};
}

void AppConfigUtil::loadDeveloperConfig(std::string_view name, bool toOverrideStore, std::string_view logFunction) {
    auto loaded = loadPlainConfig(developerFile(name), toOverrideStore, kScopeStatic);
    if (loaded.isError()) {
        KVX_LOG_AS(logFunction, services::logging::Info, "{}", loaded.peekError());
    }
}

void AppConfigUtil::loadOverrideConfigs(bool configurable) {
    if (!configurable) {
        return;
    }
    // One step for other threads: nobody sees the override store half refilled.
    auto lock = mConfig.lockData();
    mConfig.clearOverrides();
    loadDeveloperConfig("override.cfg", true, kOverrideLoader);

    const std::string profile = mConfig.getString("user.profile", "");
    if (!profile.empty() && mConfig.getBool("app.multipleInstances", false)) {
        loadDeveloperConfig(fmt::format("override-{}.cfg", profile), true, kOverrideLoader);
    }
    if (mEnvironment.text) {
        mConfig.set(Store::Override, "app.environment", *mEnvironment.text, kScopeStatic);
    }

    const std::string environment = mConfig.getString("app.environment", "");
    if (!mResources.exists(fmt::format(":/config/env/{}.cfg", environment))) {
        KVX_LOG_AS(kOverrideLoader, services::logging::Error, kUnknownEnvironment, environment);
        if (mPlatform.executableName && mPlatform.executableName() == "KorvDesktop.exe" && mPlatform.showErrorBox) {
            mPlatform.showErrorBox(fmt::format(kUnknownEnvironment, environment), "ERROR");
        }
        mConfig.set(Store::Override, "app.environment", "production", kScopeStatic);
    }
}

void AppConfigUtil::checkAndSetMode() {
    auto marker = readWith(mPlatform, developerFile(".luna"));
    const bool isLunaMode =
        (marker.isOk() && marker.peek() == lunaMarker()) || mConfig.getBool("qa.forceLunaMode", false);
    const bool isFlintMode = mConfig.getBool("qa.forceFlintMode", false) ||
                             (mPlatform.flintModeRequestedByMachine && mPlatform.flintModeRequestedByMachine());

    KVX_ASSERT(foundation::AssertLevel::Error, !(isLunaMode && isFlintMode), "Both mode should not be true");
    if (isLunaMode) {
        services::settings::setLunaMode(mConfig);
    } else if (isFlintMode) {
        services::settings::setFlintMode(mConfig);
    } else {
        services::settings::setNormalMode(mConfig);
    }
}

Result<std::vector<uint8_t>, std::string> AppConfigUtil::loadRcc(const std::string& path) {
    auto bytes = readWith(mPlatform, path);
    if (bytes.isError()) {
        return Err{fmt::format("Unable to open file: [{}] ! {}", path, bytes.peekError())};
    }
    const std::string& text = bytes.peek();
    std::span<const uint8_t> content(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    if (path.size() >= 4 && path.compare(path.size() - 4, 4, ".enc") == 0) {
        return resources::decipherRcc(content);
    }
    return Ok{std::vector<uint8_t>(content.begin(), content.end())};
}

}  // namespace kvx::apps
