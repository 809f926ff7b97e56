#include "process/AdminCheck.h"

#include <windows.h>

#include <vector>

#include "foundation/win/AutoHandle.h"

namespace kvx::services::process {
namespace {

using WinUtils::AutoHandle;

constexpr DWORD kProbeRight = 1;

AutoHandle openEffectiveToken() {
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_DUPLICATE | TOKEN_QUERY, TRUE, &token) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &token)) {
        return AutoHandle();
    }
    return AutoHandle(token);
}

}  // namespace

// Asks AccessCheck whether a descriptor that grants a right to Administrators only grants it to
// the token: this also sees the group in a token where it is present for deny purposes only.
bool isTokenAdmin() {
    AutoHandle token = openEffectiveToken();
    HANDLE rawImpersonation = nullptr;
    if (!token || !DuplicateToken(token.get(), SecurityImpersonation, &rawImpersonation)) {
        return false;
    }
    AutoHandle impersonation(rawImpersonation);

    BYTE sidBuffer[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(sidBuffer);
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sidBuffer, &sidSize)) {
        return false;
    }
    const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sidBuffer) - sizeof(DWORD);
    std::vector<BYTE> aclBuffer(aclSize);
    auto* acl = reinterpret_cast<ACL*>(aclBuffer.data());
    SECURITY_DESCRIPTOR descriptor{};
    if (!InitializeAcl(acl, aclSize, ACL_REVISION) || !AddAccessAllowedAce(acl, ACL_REVISION, kProbeRight, sidBuffer) ||
        !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorOwner(&descriptor, sidBuffer, FALSE) ||
        !SetSecurityDescriptorGroup(&descriptor, sidBuffer, FALSE)) {
        return false;
    }
    GENERIC_MAPPING mapping{kProbeRight, kProbeRight, kProbeRight, kProbeRight};
    PRIVILEGE_SET privileges{};
    DWORD privilegesSize = sizeof(privileges);
    DWORD granted = 0;
    BOOL status = FALSE;
    if (!AccessCheck(&descriptor, impersonation.get(), kProbeRight, &mapping, &privileges, &privilegesSize, &granted,
                     &status)) {
        return false;
    }
    return status != FALSE;
}

}  // namespace kvx::services::process
