// Opening, creating, closing and deleting keys.
#include "foundation/registry/RegistryKey.h"

#include <utility>

#include "foundation/TextConversion.h"

namespace kvx::foundation {

std::wstring RegistryKey::wideName(std::string_view utf8Name) {
    if (utf8Name.empty()) {
        return {};
    }
    return toWideChar(utf8Name, false, SourceLocation{__FILE__, "RegistryKey", __LINE__});
}

RegistryKey::RegistryKey(HKEY root, std::string_view subKey, bool view64, bool create) : mView64(view64) {
    if (root == nullptr) {
        mStatus = ERROR_INVALID_HANDLE;
        return;
    }
    if (subKey.empty()) {
        mHandle.reset(root);
        return;
    }
    const std::wstring path = wideName(subKey);
    HKEY opened = nullptr;
    if (create) {
        mStatus = registryProxy().RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                  createMask(view64), nullptr, &opened, nullptr);
    } else {
        mStatus = registryProxy().RegOpenKeyExW(root, path.c_str(), 0, openMask(view64), &opened);
    }
    if (mStatus == ERROR_SUCCESS) {
        mHandle.reset(opened);
    }
}

RegistryKey::~RegistryKey() { close(); }

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : mHandle(std::move(other.mHandle)),
      mStatus(std::exchange(other.mStatus, 0)),
      mView64(std::exchange(other.mView64, true)) {}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
        mHandle = std::move(other.mHandle);
        mStatus = std::exchange(other.mStatus, 0);
        mView64 = std::exchange(other.mView64, true);
    }
    return *this;
}

void RegistryKey::close() { mHandle.reset(); }

RegistryKey RegistryKey::openPredefined(HKEY predefined) {
    RegistryKey key;
    HKEY opened = nullptr;
    key.mStatus = registryProxy().RegOpenKeyExW(predefined, nullptr, 0, KEY_READ, &opened);
    if (key.mStatus == ERROR_SUCCESS) {
        key.mHandle.reset(opened);
    }
    return key;
}

RegistryKey RegistryKey::currentUser() { return openPredefined(HKEY_CURRENT_USER); }
RegistryKey RegistryKey::localMachine() { return openPredefined(HKEY_LOCAL_MACHINE); }
RegistryKey RegistryKey::users() { return openPredefined(HKEY_USERS); }

RegistryKey RegistryKey::createSubKey(std::string_view subKey, bool view64) const {
    return openSubKey(subKey, view64, true);
}

RegistryKey RegistryKey::openSubKey(std::string_view subKey, bool view64, bool create) const {
    RegistryKey key;
    key.mView64 = view64;
    if (subKey.empty()) {
        key.mStatus = ERROR_INVALID_PARAMETER;
        return key;
    }
    if (!isValid()) {
        key.mStatus = ERROR_INVALID_HANDLE;
        return key;
    }
    return RegistryKey(handle(), subKey, view64, create);
}

bool RegistryKey::subkeyExists(std::string_view subKey, bool view64) const {
    return openSubKey(subKey, view64, false).isValid();
}

bool RegistryKey::deleteValue(std::string_view valueName) {
    return isValid() &&
           registryProxy().RegDeleteValueW(handle(), wideName(valueName).c_str()) == ERROR_SUCCESS;
}

bool RegistryKey::deleteSubKey(std::string_view subKey, bool view64) {
    if (!isValid() || subKey.empty()) {
        return false;
    }
    return registryProxy().RegDeleteKeyExW(handle(), wideName(subKey).c_str(), viewFlag(view64), 0) ==
           ERROR_SUCCESS;
}

bool RegistryKey::deleteTree(std::string_view subKey) {
    // An empty path would empty this key itself; only named subkeys are removed here.
    if (!isValid() || subKey.empty()) {
        return false;
    }
    return registryProxy().RegDeleteTreeW(handle(), wideName(subKey).c_str()) == ERROR_SUCCESS;
}

}  // namespace kvx::foundation
