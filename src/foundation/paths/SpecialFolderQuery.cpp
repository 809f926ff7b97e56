// The system's answer for each special directory: known folders for 20..28, the older
// special-folder query below that.
#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>

#include <array>

#include "foundation/Logging.h"
#include "foundation/paths/TamrinUtils.h"
#include "foundation/win/SystemMemory.h"

namespace kvx::foundation {

namespace {

constexpr int kNoFolder = -1;

// Directories the destager never asks for map to no folder.
constexpr std::array<int, 20> kLegacyFolders{
    kNoFolder,                     // none
    kNoFolder,                     // temp
    CSIDL_WINDOWS,                 // OperatingSystem
    CSIDL_BITBUCKET,               // OperatingSystemTrash
    CSIDL_FONTS,                   // OperatingSystemFonts
    kNoFolder,                     // currentApplication
    CSIDL_DESKTOPDIRECTORY,        // userDesktop
    CSIDL_COMMON_DESKTOPDIRECTORY, // commonDesktop
    CSIDL_APPDATA,                 // userApplicationData
    CSIDL_COMMON_APPDATA,          // commonApplicationData
    CSIDL_PERSONAL,                // userDocuments
    CSIDL_COMMON_DOCUMENTS,        // commonDocuments
    CSIDL_MYMUSIC,                 // userMusic
    CSIDL_COMMON_MUSIC,            // commonMusic
    CSIDL_PROGRAMS,                // userProgramsShortcuts
    CSIDL_COMMON_PROGRAMS,         // commonProgramsShortcuts
    CSIDL_MYPICTURES,              // userPictures
    CSIDL_MYVIDEO,                 // userMovies
    kNoFolder,                     // devScratch
    kNoFolder,                     // downloadData
};

const KNOWNFOLDERID& knownFolderId(SpecialDirectory directory) {
    switch (directory) {
        case SpecialDirectory::programFiles: return FOLDERID_ProgramFiles;
        case SpecialDirectory::programFilesCommon: return FOLDERID_ProgramFilesCommon;
        case SpecialDirectory::programData: return FOLDERID_ProgramData;
        case SpecialDirectory::profile: return FOLDERID_Profile;
        case SpecialDirectory::localAppData: return FOLDERID_LocalAppData;
        case SpecialDirectory::localLowAppData: return FOLDERID_LocalAppDataLow;
        case SpecialDirectory::roamingAppData: return FOLDERID_RoamingAppData;
        case SpecialDirectory::savedGames: return FOLDERID_SavedGames;
        default: return FOLDERID_Documents;
    }
}

Result<std::wstring, long> queryKnownFolder(SpecialDirectory directory, bool create, HANDLE token) {
    PWSTR folder = nullptr;
    const HRESULT res = SHGetKnownFolderPath(knownFolderId(directory), create ? DWORD{KF_FLAG_CREATE} : DWORD{0}, token, &folder);
    const WinUtils::UniqueCoTaskMemory<PWSTR> owned(folder);
    std::wstring path = (SUCCEEDED(res) && folder != nullptr) ? std::wstring(folder) : std::wstring{};
    if (FAILED(res)) {
        KVX_LOG_ERROR("There was a problem getting the directory location for knownFolder={} res={}",
                      static_cast<uint32_t>(directory), res);
        return Err{static_cast<long>(res)};
    }
    return Ok{std::move(path)};
}

Result<std::wstring, long> queryLegacyFolder(SpecialDirectory directory, bool create, HANDLE token) {
    const auto value = static_cast<uint32_t>(directory);
    const int csidl = value < kLegacyFolders.size() ? kLegacyFolders[value] : kNoFolder;
    std::array<wchar_t, MAX_PATH> folder{};
    const HRESULT res = csidl == kNoFolder
                            ? E_INVALIDARG
                            : SHGetFolderPathW(nullptr, csidl | (create ? CSIDL_FLAG_CREATE : 0), token,
                                               SHGFP_TYPE_CURRENT, folder.data());
    if (res != S_OK) {
        KVX_LOG_ERROR("There was a problem getting the directory location for specialDirectory={:x}", value);
        return Err{static_cast<long>(res)};
    }
    return Ok{std::wstring(folder.data())};
}

}  // namespace

Result<std::wstring, long> querySpecialFolder(SpecialDirectory directory, bool create, void* userToken) {
    if (isKnownFolder(directory)) {
        return queryKnownFolder(directory, create, static_cast<HANDLE>(userToken));
    }
    return queryLegacyFolder(directory, create, static_cast<HANDLE>(userToken));
}

}  // namespace kvx::foundation
