#pragma once
// The paths of one destage, built once before the update is applied and handed to every step.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/fs/Path.h"

namespace kvx::apps {

inline constexpr const wchar_t* kClientFolderName = L"Korv Desktop";
inline constexpr const char* kPlainStagedFolderName = "StagedKorvDesktop";

struct DestageContext {
    fs::Path installRoot;
    fs::Path clientPath;          // the live client folder: a plain folder, or a link in symlink mode
    fs::Path clientExePath;
    fs::Path outdatedClientPath;  // where the live client is moved aside, time-stamped
    fs::Path stagedClientPath;    // "Korv Desktop" inside the staged folder
    fs::Path zipPath;             // the downloaded archive beside the staged folder
    std::string stagedFolderName;
    fs::Path stagedLinkTarget;    // relative to installRoot: the link target in symlink mode
    fs::Path backgroundServiceExePath;
    std::string resumeCommand;    // runs this destage again: the staged destager, this run's arguments
};

// "KorvDesktop.exe" in the client folder of an install.
fs::Path clientExePathIn(const fs::Path& installLocation);

// The destager lies one folder below the staged folder: <staged>\Korv Desktop\KorvDestager.exe.
// `now100ns` is the wall clock in 100-ns units since 1970, naming the outdated folder; `arguments`
// are this run's own (argv[1..]).
DestageContext buildDestageContext(const fs::Path& installLocation, const fs::Path& executablePath,
                                   int64_t now100ns, const std::vector<std::string>& arguments = {});

// Plain mode is chosen by the staged folder's exact name (case aside); any other name means symlink mode.
bool isPlainModeStagedFolder(const std::string& stagedFolderName);

}  // namespace kvx::apps
