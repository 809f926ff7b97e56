#include "foundation/security/ProtectedDirectory.h"

#include <aclapi.h>
#include <sddl.h>

#include <array>
#include <vector>

#include "foundation/Logging.h"
#include "foundation/fs/IFilesystem.h"
#include "foundation/fs/PathRules.h"
#include "foundation/fs/Win32Handles.h"
#include "foundation/security/DirectoryChecks.h"
#include "foundation/win/ErrorText.h"
#include "foundation/win/Privileges.h"

namespace kvx::foundation::security {

namespace {

constexpr const char* kAdminOwnedFunction = "kvx::foundation::security::createAdminOwnedDirectory";
constexpr const char* kWithAttributesFunction = "kvx::foundation::security::createDirectoryWithAttributes";
constexpr DWORD kSecurityToReplace =
    OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;
// The status a redirected directory ends with (146).
constexpr uint32_t kRedirectedStatus = ERROR_IS_SUBST_PATH;

std::string osErrorText(uint32_t error) {
    return foundation::safeFormat("{}: {}", error, WinUtils::getErrorAsString(error));
}

std::wstring windowsFolder() {
    std::array<wchar_t, MAX_PATH + 1> buffer{};
    const UINT length = GetWindowsDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
    return length == 0 || length >= buffer.size() ? std::wstring() : std::wstring(buffer.data(), length);
}

std::wstring finalName(const fs::Path& path) {
    auto resolved = fs::filesystem().canonical(path);
    return resolved.isOk() ? resolved.peek().wide() : std::wstring();
}

uint32_t replaceSecurity(const fs::Path& path, PSID owner, PACL dacl) {
    // The call wants a writable name; the path is not changed.
    std::wstring name = path.wide();
    return SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, kSecurityToReplace, owner, nullptr, dacl,
                                 nullptr);
}

}  // namespace

uint32_t parseSddlDacl(const std::string& sddl, ParsedDacl& parsed) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        const uint32_t error = GetLastError();
        KVX_LOG_AS(kAdminOwnedFunction, services::logging::Error,
                   "Failed to convert SDDL[{}] to security descriptor: {}", sddl, osErrorText(error));
        return error;
    }
    parsed.descriptor.reset(descriptor);
    parsed.attributes.lpSecurityDescriptor = descriptor;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorDacl(parsed.attributes.lpSecurityDescriptor, &present, &parsed.dacl,
                                   &defaulted)) {
        const uint32_t error = GetLastError();
        KVX_LOG_AS(kAdminOwnedFunction, services::logging::Error,
                   "Failed to retrieve DACL from security descriptor: {}", osErrorText(error));
        return error;
    }
    if (!present || parsed.dacl == nullptr || parsed.dacl->AceCount == 0) {
        KVX_LOG_AS(kAdminOwnedFunction, services::logging::Error, "NULL or empty DACL specified [{}]", sddl);
        return ERROR_INVALID_ACL;
    }
    return ERROR_SUCCESS;
}

bool isPathRedirected(const fs::Path& path, const fs::Path& prefix) {
    const std::wstring resolvedPrefix = finalName(prefix);
    return isRedirectedBelowPrefix(path.wide(), prefix.wide(), finalName(path),
                                   resolvedPrefix.empty() ? prefix.wide() : resolvedPrefix);
}

bool isAllowableDirectory(const fs::Path& path, const fs::Path& prefix) {
    switch (placeOfDirectory(path.wide(), prefix.wide(), windowsFolder())) {
        case DirectoryPlace::insideWindowsFolder:
            KVX_LOG_AS(kAdminOwnedFunction, services::logging::Error,
                       "Cannot modify items within the Windows system folder");
            return false;
        case DirectoryPlace::outsidePrefix:
            KVX_LOG_AS(kAdminOwnedFunction, services::logging::Error,
                       "Path [{}] does not begin with required prefix [{}]", path.utf8(), prefix.utf8());
            return false;
        case DirectoryPlace::allowed:
            break;
    }
    const fs::Path parent = (path.filename().empty() ? path.parent() : path).parent();
    if (!fs::isSamePath(path.wide(), prefix.wide()) && isPathRedirected(parent, prefix)) {
        KVX_LOG_AS(kAdminOwnedFunction, services::logging::Error, "Parent path [{}] has been redirected",
                   parent.utf8());
        return false;
    }
    return true;
}

uint32_t resetChildrenSecurity(const fs::Path& directory, PSID owner, PACL dacl) {
    WIN32_FIND_DATAW entry{};
    const fs::detail::FindHandle find(FindFirstFileW((directory / L"*").c_str(), &entry));
    if (!find.valid()) {
        return ERROR_FILE_NOT_FOUND;
    }
    do {
        const std::wstring_view name = entry.cFileName;
        if (name == L"." || name == L".." || (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            continue;
        }
        const fs::Path child = directory / fs::Path(std::wstring(name));
        if (const uint32_t error = replaceSecurity(child, owner, dacl); error != ERROR_SUCCESS) {
            return error;
        }
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if (const uint32_t error = resetChildrenSecurity(child, owner, dacl); error != ERROR_SUCCESS) {
                return error;
            }
        }
    } while (FindNextFileW(find.get(), &entry));
    return ERROR_SUCCESS;
}

int32_t createDirectoryWithAttributes(const fs::Path& path, const std::string& sddl, const fs::Path& prefix,
                                      bool removeExisting, bool resetChildren) {
    std::array<BYTE, SECURITY_MAX_SID_SIZE> adminSid{};
    DWORD sidSize = static_cast<DWORD>(adminSid.size());
    uint32_t status = ERROR_SUCCESS;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, adminSid.data(), &sidSize)) {
        status = GetLastError();
        KVX_LOG_AS(kAdminOwnedFunction, services::logging::Error,
                   "CreateWellKnownSid(WinBuiltinAdministratorsSid) failed: {}", osErrorText(status));
    }
    ParsedDacl parsed;
    if (!isAllowableDirectory(path, prefix)) {
        KVX_LOG_AS(kAdminOwnedFunction, services::logging::Error,
                   "Trying to create disallowed directory [{}]", path.utf8());
        status = ERROR_INVALID_PARAMETER;
    } else if (status == ERROR_SUCCESS) {
        status = parseSddlDacl(sddl, parsed);
        if (status == ERROR_SUCCESS) {
            if (removeExisting) {
                (void)fs::filesystem().removeDirectory(path, true);
            }
            if (!CreateDirectoryW(path.c_str(), &parsed.attributes)) {
                status = GetLastError();
                if (status != ERROR_ALREADY_EXISTS) {
                    KVX_LOG_AS(kWithAttributesFunction, services::logging::Error,
                               "Failed to create directory [{}]: {}", path.utf8(), osErrorText(status));
                }
            }
        }
    }
    // Held for the rest of the operation: taking over an existing directory needs it.
    const WinUtils::AutoPrivilegeManager takeOwnership("SeTakeOwnershipPrivilege");
    PSID owner = adminSid.data();
    if (status == ERROR_ALREADY_EXISTS) {
        KVX_LOG_AS(kAdminOwnedFunction, services::logging::Verbose, "Taking ownership of [{}]", path.utf8());
        if (const uint32_t error = replaceSecurity(path, owner, parsed.dacl); error != ERROR_SUCCESS) {
            KVX_LOG_AS(kAdminOwnedFunction, services::logging::Error,
                       "Failed to take ownership of existing directory [{}]: {}", path.utf8(),
                       osErrorText(error));
            status = error;
        }
    }
    if ((status == ERROR_SUCCESS || status == ERROR_ALREADY_EXISTS) && isPathRedirected(path, prefix)) {
        KVX_LOG_AS(kAdminOwnedFunction, services::logging::Error, "Path [{}] is redirected", path.utf8());
        status = kRedirectedStatus;
    }
    if (status == ERROR_ALREADY_EXISTS && resetChildren) {
        if (const uint32_t error = resetChildrenSecurity(path, owner, parsed.dacl); error != ERROR_SUCCESS) {
            KVX_LOG_AS(kAdminOwnedFunction, services::logging::Error,
                       "Failed to reset child permissions of existing directory [{}]: {}", path.utf8(),
                       osErrorText(error));
            status = error;
        }
    }
    if (status == ERROR_SUCCESS) {
        return kDirectoryCreated;
    }
    return status == ERROR_ALREADY_EXISTS ? kDirectoryReowned : kDirectoryFailed;
}

int32_t createAdminOwnedDirectory(const fs::Path& path, const fs::Path& prefix, bool removeExisting,
                                  bool resetChildren) {
    return createDirectoryWithAttributes(path, kAdminOwnedDirectorySddl, prefix, removeExisting,
                                         resetChildren);
}

}  // namespace kvx::foundation::security
