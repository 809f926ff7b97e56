#include "foundation/security/ProtectedDirectory.h"

#include <aclapi.h>
#include <sddl.h>

#include <array>
#include <memory>
#include <vector>

#include "foundation/Logging.h"
#include "foundation/fs/IFilesystem.h"
#include "foundation/fs/PathRules.h"
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

struct OpenedDirectory {
    std::unique_ptr<IDirectoryHandle> directory;
    std::wstring resolvedPrefix;
};

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

struct EntryWithInfo {
    std::unique_ptr<IDirectoryHandle> directory;
    fs::detail::NodeInfo info;
};

// An entry opened below `folder` together with what the open entry says it is.
Result<EntryWithInfo, uint32_t> openWithInfo(IDirectoryHandle& folder, const std::wstring& name,
                                             PSECURITY_DESCRIPTOR createWith, bool& created) {
    auto entry = folder.openEntry(name, createWith, created);
    if (entry.isError()) {
        return Err(entry.unwrapError());
    }
    auto info = entry.peek()->info();
    if (info.isError()) {
        return Err(info.unwrapError());
    }
    return Ok(EntryWithInfo{entry.unwrap(), info.unwrap()});
}

bool isReparsePoint(const EntryWithInfo& entry) {
    return (entry.info.attributes & fs::detail::kAttributeReparsePoint) != 0;
}

std::wstring finalPathOr(IDirectoryHandle& directory, const std::wstring& fallback) {
    auto name = directory.finalPath();
    return name.isOk() ? name.unwrap() : fallback;
}

// Each element below the prefix is opened relative to the one before and never through a reparse
// point, the last one made when missing. 0 made, 183 existed, 146 a reparse point on the way, or the
// error of the open.
uint32_t openBelowPrefix(const fs::Path& path, const fs::Path& prefix, PSECURITY_DESCRIPTOR descriptor,
                         const PrefixOpener& openPrefix, OpenedDirectory& opened) {
    auto current = openPrefix(prefix);
    if (current.isError()) {
        return current.unwrapError();
    }
    opened.resolvedPrefix = finalPathOr(*current.peek(), prefix.wide());
    const std::vector<std::wstring> elements = elementsBelow(prefix.wide(), path.wide());
    bool created = false;
    for (size_t i = 0; i < elements.size(); ++i) {
        const bool last = i + 1 == elements.size();
        auto next = openWithInfo(*current.peek(), elements[i], last ? descriptor : nullptr, created);
        if (next.isError()) {
            return next.unwrapError();
        }
        if (isReparsePoint(next.peek())) {
            return kRedirectedStatus;
        }
        current = Ok(std::move(next.unwrap().directory));
    }
    opened.directory = current.unwrap();
    return created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS;
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

uint32_t resetChildrenSecurity(IDirectoryHandle& directory, PSID owner, PACL dacl) {
    auto names = directory.entryNames();
    if (names.isError()) {
        return ERROR_FILE_NOT_FOUND;
    }
    for (const std::wstring& name : names.peek()) {
        bool created = false;
        auto child = openWithInfo(directory, name, nullptr, created);
        if (child.isError()) {
            return child.unwrapError();
        }
        if (isReparsePoint(child.peek())) {
            continue;  // neither changed nor followed
        }
        IDirectoryHandle& entry = *child.peek().directory;
        if (const uint32_t error = entry.setSecurity(owner, dacl); error != ERROR_SUCCESS) {
            return error;
        }
        if ((child.peek().info.attributes & fs::detail::kAttributeDirectory) != 0) {
            if (const uint32_t error = resetChildrenSecurity(entry, owner, dacl); error != ERROR_SUCCESS) {
                return error;
            }
        }
    }
    return ERROR_SUCCESS;
}

int32_t createDirectoryWithAttributes(const fs::Path& path, const std::string& sddl, const fs::Path& prefix,
                                      bool removeExisting, bool resetChildren) {
    return createDirectoryWithAttributes(path, sddl, prefix, removeExisting, resetChildren,
                                         openPrefixDirectory);
}

int32_t createDirectoryWithAttributes(const fs::Path& path, const std::string& sddl, const fs::Path& prefix,
                                      bool removeExisting, bool resetChildren,
                                      const PrefixOpener& openPrefix) {
    std::array<BYTE, SECURITY_MAX_SID_SIZE> adminSid{};
    DWORD sidSize = static_cast<DWORD>(adminSid.size());
    uint32_t status = ERROR_SUCCESS;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, adminSid.data(), &sidSize)) {
        status = GetLastError();
        KVX_LOG_AS(kAdminOwnedFunction, services::logging::Error,
                   "CreateWellKnownSid(WinBuiltinAdministratorsSid) failed: {}", osErrorText(status));
    }
    // Held for the rest of the operation: opening an existing directory to take it over needs it.
    const WinUtils::AutoPrivilegeManager takeOwnership("SeTakeOwnershipPrivilege");
    ParsedDacl parsed;
    OpenedDirectory opened;
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
            status =
                openBelowPrefix(path, prefix, parsed.attributes.lpSecurityDescriptor, openPrefix, opened);
            if (status != ERROR_SUCCESS && status != ERROR_ALREADY_EXISTS && status != kRedirectedStatus) {
                KVX_LOG_AS(kWithAttributesFunction, services::logging::Error,
                           "Failed to create directory [{}]: {}", path.utf8(), osErrorText(status));
            }
        }
    }
    // The redirect test comes before any change, not after taking ownership by name: the owner and
    // access list are set only on the open directory once it is known to be the one asked for, so
    // a junction met on the way can never carry them to its target.
    if (status == kRedirectedStatus ||
        ((status == ERROR_SUCCESS || status == ERROR_ALREADY_EXISTS) &&
         isRedirectedBelowPrefix(path.wide(), prefix.wide(), finalPathOr(*opened.directory, L""),
                                 opened.resolvedPrefix))) {
        KVX_LOG_AS(kAdminOwnedFunction, services::logging::Error, "Path [{}] is redirected", path.utf8());
        status = kRedirectedStatus;
    }
    PSID owner = adminSid.data();
    if (status == ERROR_ALREADY_EXISTS) {
        KVX_LOG_AS(kAdminOwnedFunction, services::logging::Verbose, "Taking ownership of [{}]", path.utf8());
        if (const uint32_t error = opened.directory->setSecurity(owner, parsed.dacl);
            error != ERROR_SUCCESS) {
            KVX_LOG_AS(kAdminOwnedFunction, services::logging::Error,
                       "Failed to take ownership of existing directory [{}]: {}", path.utf8(),
                       osErrorText(error));
            status = error;
        }
    }
    if (status == ERROR_ALREADY_EXISTS && resetChildren) {
        if (const uint32_t error = resetChildrenSecurity(*opened.directory, owner, parsed.dacl);
            error != ERROR_SUCCESS) {
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
