#pragma once
// The special-path service: full paths below the system's well-known directories, honouring
// redirections registered from the configuration.

#include <string>
#include <string_view>

#include "foundation/Result.h"
#include "foundation/fs/Path.h"
#include "foundation/paths/SpecialDirectory.h"

namespace kvx::foundation {

inline constexpr std::string_view kMachineSettingsFolder = "Korv Desktop\\";
inline constexpr std::string_view kMachineSettingsFileName = "machine.ini";

class TamrinUtilsImpl {
public:
    // Folder of `directory`, then `relativeFolder`, then `fileName`; `create` makes the folder chain.
    // `userToken` (a Windows token handle, may be null) selects whose folder is meant.
    // Empty (and logged) when the directory cannot be resolved.
    std::string getSpecialPathVerbose(SpecialDirectory directory, std::string_view relativeFolder,
                                      std::string_view fileName, bool create, void* userToken) const;
    // The same; the error is the status of the failed system query.
    Result<std::string, long> getSpecialPathImpl(SpecialDirectory directory, std::string_view relativeFolder,
                                                 std::string_view fileName, bool create, void* userToken) const;
    // "<ProgramData>\Korv Desktop\machine.ini".
    std::string getMachineSettingsPath() const;
};

// The process-wide service (stateless; redirections live in SpecialDirectoryRedirections).
const TamrinUtilsImpl& tamrinUtils();

// A path below a special directory; an empty path (and a WARN line) when it cannot be built.
fs::Path tamrinPathConstructorHelper(SpecialDirectory directory, std::string_view relativeFolder,
                                     std::string_view fileName, bool create);

// Folder of the special directory as the system reports it, without trailing text added.
Result<std::wstring, long> querySpecialFolder(SpecialDirectory directory, bool create, void* userToken);

}  // namespace kvx::foundation
