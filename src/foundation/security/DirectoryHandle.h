#pragma once
// An open directory as the protected-directory steps use it: entries are opened relative to it and
// never through a link, and security is set on the open object, never on a name. Tests replace the
// opener to stand in for the junctions Wine cannot make.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Result.h"
#include "foundation/fs/Path.h"
#include "foundation/fs/RemovalPolicy.h"

namespace kvx::foundation::security {

class IDirectoryHandle {
public:
    virtual ~IDirectoryHandle() = default;
    virtual Result<fs::detail::NodeInfo, uint32_t> info() = 0;
    // The name the system reports for the open object, without "\\?\".
    virtual Result<std::wstring, uint32_t> finalPath() = 0;
    virtual Result<std::vector<std::wstring>, uint32_t> entryNames() = 0;
    // Opens the entry `name` (one element) without following a reparse point. With a descriptor a
    // missing entry is made as a folder with it, and `created` tells which happened.
    virtual Result<std::unique_ptr<IDirectoryHandle>, uint32_t> openEntry(const std::wstring& name,
                                                                          PSECURITY_DESCRIPTOR createWith,
                                                                          bool& created) = 0;
    // Owner, access list and its protection, on the open object. 0 or the Windows error.
    virtual uint32_t setSecurity(PSID owner, PACL dacl) = 0;
};

// Opens the required prefix, the trusted root (it may itself lead elsewhere, as a moved ProgramData).
using PrefixOpener =
    std::function<Result<std::unique_ptr<IDirectoryHandle>, uint32_t>(const fs::Path& prefix)>;

// The Win32 opener.
Result<std::unique_ptr<IDirectoryHandle>, uint32_t> openPrefixDirectory(const fs::Path& prefix);

}  // namespace kvx::foundation::security
