#include "SandboxRegistry.h"

#include "destager/ResumeEntry.h"
#include "integration/AppKey.h"

namespace kvx::sandbox {

namespace {
constexpr const char* kAppKeyParent = "Software\\Tessory";
constexpr const char* kAppKeyName = "Korv Desktop";
}  // namespace

std::wstring installLocation(bool view64) {
    return apps::openAppKey(false, view64).get<std::wstring>("InstallLocation");
}

void clearLoopCheck() {
    for (bool view64 : {true, false}) {
        foundation::RegistryKey key = apps::openAppKey(false, view64);
        if (key.isValid() && key.subkeyExists(kLoopCheckSubKey, view64)) {
            key = apps::openAppKey(true, view64);
            key.deleteTree(kLoopCheckSubKey);
        }
    }
}

LoopCheckValues readLoopCheck() {
    LoopCheckValues values;
    const foundation::RegistryKey key = apps::openAppKey(false, true).openSubKey(kLoopCheckSubKey, true, false);
    if (!key.isValid()) {
        return values;
    }
    values.present = true;
    values.targetVersion = key.get<std::string>("UpdateTargetVersion");
    values.date = key.get<std::string>("UpdateDate");
    values.updateNumber = key.get<uint32_t>("UpdateNumber");
    values.sameResults = key.get<uint32_t>("UpdateSameResults");
    values.successful = key.get<uint32_t>("UpdateSuccessful");
    return values;
}

bool writeLoopCheck(const LoopCheckValues& values) {
    foundation::RegistryKey key = apps::openAppKey(true, true).openSubKey(kLoopCheckSubKey, true, true);
    bool written = key.set("UpdateTargetVersion", std::string_view(values.targetVersion));
    written = key.set("UpdateDate", std::string_view(values.date)) && written;
    written = key.set("UpdateNumber", values.updateNumber) && written;
    written = key.set("UpdateSameResults", values.sameResults) && written;
    return key.set("UpdateSuccessful", values.successful) && written;
}

int64_t isUnavailableFlag(bool view64) {
    const foundation::RegistryKey key = apps::openAppKey(false, view64);
    return key.valueExists("IsUnavailable") ? static_cast<int64_t>(key.get<uint32_t>("IsUnavailable")) : -1;
}

bool setUnavailableFlag(uint32_t value) {
    bool written = true;
    for (bool view64 : {true, false}) {
        written = apps::openAppKey(true, view64).set("IsUnavailable", value) && written;
    }
    return written;
}

namespace {
foundation::RegistryKey runOnceKey() {
    return foundation::RegistryKey::openWritable(HKEY_LOCAL_MACHINE, apps::destager::internal::kRunOnceKeyPath, true);
}
}  // namespace

std::optional<std::string> resumeEntry() {
    const foundation::RegistryKey key = runOnceKey();
    if (!key.valueExists(apps::destager::internal::kResumeValueName)) {
        return std::nullopt;
    }
    return key.get<std::string>(apps::destager::internal::kResumeValueName);
}

void removeResumeEntry() {
    runOnceKey().deleteValue(apps::destager::internal::kResumeValueName);
}

void removeAppKey() {
    for (bool view64 : {true, false}) {
        foundation::RegistryKey parent(HKEY_LOCAL_MACHINE, kAppKeyParent, view64, true);
        if (parent.subkeyExists(kAppKeyName, view64)) {
            parent.deleteTree(kAppKeyName);
        }
    }
}

}  // namespace kvx::sandbox
