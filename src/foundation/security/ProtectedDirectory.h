#pragma once
// Directories that an elevated program creates for a suite whose other programs run unelevated:
// owned by the administrators, with an access list users cannot change, and never reached through
// a junction or link a user planted.

#include <windows.h>

#include <cstdint>
#include <string>

#include "foundation/fs/Path.h"
#include "foundation/security/DirectoryHandle.h"
#include "foundation/win/SystemMemory.h"

namespace kvx::foundation::security {

// Read and execute for users, full access for LocalSystem and the administrators; protected and
// inherited by everything below.
inline constexpr const char* kAdminOwnedDirectorySddl =
    "D:P(A;OICI;GRGX;;;BU)(A;OICI;GA;;;SY)(A;OICI;GA;;;BA)";

enum DirectoryOutcome : int32_t {
    kDirectoryCreated = 0,
    // It existed already; its owner and access list were replaced.
    kDirectoryReowned = 1,
    kDirectoryFailed = 2,
};

// A parsed access list. The descriptor, which `attributes` and `dacl` point into, is owned here.
struct ParsedDacl {
    WinUtils::UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    PACL dacl = nullptr;
};

// 0, or the Windows error of the first step that failed (logged); an access list without entries
// is an error too.
uint32_t parseSddlDacl(const std::string& sddl, ParsedDacl& parsed);

// False (logged) inside the Windows folder, outside `prefix`, or when the parent of `path` below the
// prefix leads elsewhere.
bool isAllowableDirectory(const fs::Path& path, const fs::Path& prefix);

// True when the final name the system reports for `path` is not `path` below the prefix's own
// final name, or when there is no final name to ask for.
bool isPathRedirected(const fs::Path& path, const fs::Path& prefix);

// Gives every entry below the open `directory` this owner and access list, each entry opened
// relative to its folder; links are neither changed nor followed. 0 or the first Windows error.
uint32_t resetChildrenSecurity(IDirectoryHandle& directory, PSID owner, PACL dacl);

// Creates `path` with the access list of `sddl`, or takes over an existing one, working from
// handles opened below the prefix. DirectoryOutcome.
int32_t createDirectoryWithAttributes(const fs::Path& path, const std::string& sddl, const fs::Path& prefix,
                                      bool removeExisting, bool resetChildren);
// The same with the prefix opened by `openPrefix`.
int32_t createDirectoryWithAttributes(const fs::Path& path, const std::string& sddl, const fs::Path& prefix,
                                      bool removeExisting, bool resetChildren,
                                      const PrefixOpener& openPrefix);

// createDirectoryWithAttributes with kAdminOwnedDirectorySddl.
int32_t createAdminOwnedDirectory(const fs::Path& path, const fs::Path& prefix, bool removeExisting,
                                  bool resetChildren);

}  // namespace kvx::foundation::security
