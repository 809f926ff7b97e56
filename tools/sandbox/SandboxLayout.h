#pragma once
// Where a sandbox install puts things: the install root (its last folder is "Korv Desktop", as the
// destager demands), the live client folder inside it, the staged folder with its client copy and
// the downloaded archive beside it.

#include <filesystem>
#include <string>

#include "foundation/Result.h"

namespace kvx::sandbox {

inline constexpr const wchar_t* kClientFolderName = L"Korv Desktop";
inline constexpr const wchar_t* kDefaultStagedName = L"StagedKorvDesktop";
inline constexpr const wchar_t* kDestagerExeName = L"KorvDestager.exe";
inline constexpr const wchar_t* kDestagerResourceName = L"KorvDestager.rcc.enc";
inline constexpr const wchar_t* kServiceName = L"KorvBackgroundService";
inline constexpr const wchar_t* kOutdatedPrefix = L"outdatedKorvDesktop-";

struct SandboxLayout {
    std::filesystem::path installRoot;
    std::filesystem::path clientPath;
    std::filesystem::path stagedFolder;
    std::filesystem::path stagedClientPath;
    std::filesystem::path zipPath;
    std::filesystem::path stagedDestagerPath;
};

// The layout for `installRoot` (trailing separators dropped); an error text when its last folder
// is not "Korv Desktop" or the path is not absolute.
Result<SandboxLayout, std::string> makeLayout(const std::filesystem::path& installRoot,
                                              const std::wstring& stagedName = kDefaultStagedName);

// The folders the sandbox copies from: the suite simulator's programs and the built destager; and
// the sandbox program itself, which stands in for a second destager.
struct SandboxSources {
    std::filesystem::path simFolder;
    std::filesystem::path destagerFolder;
    std::filesystem::path sandboxExe;
};

// All below a build folder: <build>\suite-sim, <build>\sandbox\destager, <build>\sandbox\korv_sandbox.exe.
SandboxSources sourcesInBuild(const std::filesystem::path& buildFolder);

// The folder of the running executable.
std::filesystem::path ownFolder();

std::string utf8(const std::wstring& text);
std::wstring wide(const std::string& text);

}  // namespace kvx::sandbox
