#pragma once
// The registration of a game catalog extension with the Xbox app: where its folder, COM class and
// extension record are written. Each step answers with an HRESULT (negative is failure).

#include <windows.h>

#include <string_view>

namespace kvx::services::comInstall {

// HKLM keys the steps write (64-bit view), named for the tests.
inline constexpr const char* kClassesClsidPath = "SOFTWARE\\Classes\\CLSID";
inline constexpr const char* kClassesAppIdPath = "SOFTWARE\\Classes\\AppID";
inline constexpr const char* kRegistrationsPath =
    "SOFTWARE\\Microsoft\\Xbox\\GamingApp\\Extensions\\Registrations";

// Lets packaged apps (the Xbox app) read and run the folder's programs.
HRESULT setExtensionFolderPermissions(std::wstring_view folder);
// A local server started with `commandLine`, with an application id of the same GUID.
HRESULT registerLocalServer(std::string_view clsid, std::string_view name, std::wstring_view commandLine);
HRESULT registerExtension(std::string_view name, std::string_view productId, std::string_view clsid);
HRESULT makeExtensionLoadable(std::string_view productId);

}  // namespace kvx::services::comInstall
