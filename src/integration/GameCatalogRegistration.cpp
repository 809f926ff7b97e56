#include "integration/GameCatalogRegistration.h"

#include <aclapi.h>
#include <sddl.h>

#include <fmt/format.h>

#include "foundation/fs/HandleOpen.h"
#include "foundation/registry/RegistryKey.h"
#include "foundation/win/UniqueHandle.h"

namespace kvx::services::comInstall {

namespace {

using foundation::RegistryKey;

struct LocalMemoryTraits {
    using Type = HLOCAL;
    static Type invalid() { return nullptr; }
    static bool isValid(Type memory) { return memory != nullptr; }
    static void close(Type memory) { LocalFree(memory); }
};
using LocalMemory = WinUtils::UniqueHandle<LocalMemoryTraits>;

HRESULT written(bool ok) {
    return ok ? S_OK : HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
}

RegistryKey machineKey(const std::string& path) {
    return RegistryKey(HKEY_LOCAL_MACHINE, path, true, true);
}

std::string braced(std::string_view guid) {
    return fmt::format("{{{}}}", guid);
}

}  // namespace

HRESULT setExtensionFolderPermissions(std::wstring_view folder) {
    // The folder is opened once, a link itself rather than what it names, and read and written
    // through that handle: a name swapped for a link meanwhile cannot redirect the grant.
    auto opened = fs::detail::openNoFollow(fs::Path(std::wstring(folder)),
                                           READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES);
    if (opened.isError()) {
        return HRESULT_FROM_WIN32(opened.peekError());
    }
    const HANDLE handle = opened.peek().get();
    auto info = fs::detail::nodeInfo(handle);
    if (info.isError()) {
        return HRESULT_FROM_WIN32(info.peekError());
    }
    // Only a plain folder: a link or a file there is refused.
    const uint32_t attributes = info.peek().attributes;
    if ((attributes & fs::detail::kAttributeReparsePoint) != 0 || (attributes & fs::detail::kAttributeDirectory) == 0) {
        return HRESULT_FROM_WIN32(ERROR_DIRECTORY);
    }
    PACL current = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD status = GetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &current,
                                   nullptr, &descriptor);
    LocalMemory ownedDescriptor(descriptor);
    if (status != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(status);
    }
    // "ALL APPLICATION PACKAGES".
    PSID packages = nullptr;
    if (!ConvertStringSidToSidW(L"S-1-15-2-1", &packages)) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    LocalMemory ownedSid(packages);
    EXPLICIT_ACCESSW access{};
    access.grfAccessPermissions = GENERIC_READ | GENERIC_EXECUTE;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(packages);
    PACL merged = nullptr;
    status = SetEntriesInAclW(1, &access, current, &merged);
    LocalMemory ownedAcl(merged);
    if (status != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(status);
    }
    status = SetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, merged, nullptr);
    return HRESULT_FROM_WIN32(status);
}

HRESULT registerLocalServer(std::string_view clsid, std::string_view name, std::wstring_view commandLine) {
    const std::string id = braced(clsid);
    RegistryKey classKey = machineKey(fmt::format("{}\\{}", kClassesClsidPath, id));
    bool ok = classKey.set("", name);
    ok &= classKey.set("AppID", std::string_view(id));
    ok &= classKey.createSubKey("LocalServer32", true).set("", commandLine);
    ok &= machineKey(fmt::format("{}\\{}", kClassesAppIdPath, id)).set("", name);
    return written(ok);
}

HRESULT registerExtension(std::string_view name, std::string_view productId, std::string_view clsid) {
    RegistryKey record = machineKey(fmt::format("{}\\{}", kRegistrationsPath, productId));
    bool ok = record.set("Name", name);
    ok &= record.set("Clsid", std::string_view(braced(clsid)));
    return written(ok);
}

HRESULT makeExtensionLoadable(std::string_view productId) {
    return written(
        machineKey(fmt::format("{}\\{}", kRegistrationsPath, productId)).set("Loadable", uint32_t{1}));
}

}  // namespace kvx::services::comInstall
