#include "SandboxShortcuts.h"

#include <shlobj.h>
#include <windows.h>

#include <array>
#include <filesystem>
#include <vector>

#include "foundation/win/ComInitializer.h"
#include "integration/ShellLink.h"

namespace kvx::sandbox {

namespace {

std::filesystem::path commonFolder(int csidl) {
    std::array<wchar_t, MAX_PATH> folder{};
    if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder.data()) != S_OK) {
        return {};
    }
    return std::filesystem::path(folder.data());
}

std::filesystem::path desktopShortcut() {
    return commonFolder(CSIDL_COMMON_DESKTOPDIRECTORY) / L"Korv.lnk";
}

std::filesystem::path startMenuFolder() {
    return commonFolder(CSIDL_COMMON_PROGRAMS) / L"Korv";
}

std::string shortcutLine(const std::string& where, const std::filesystem::path& shortcut) {
    std::string line = "  " + where + utf8(shortcut.filename().wstring());
    line.append(line.size() < 44 ? 44 - line.size() : 1, ' ');
    std::error_code error;
    if (!std::filesystem::exists(shortcut, error)) {
        return line + "(none)\n";
    }
    const auto content = services::platform::readShortcut(utf8(shortcut.wstring()));
    if (!content) {
        return line + "(unreadable)\n";
    }
    return line + "-> " + content->target + (content->arguments.empty() ? "" : " " + content->arguments) +
           "\n";
}

}  // namespace

std::string formatShortcuts(const SandboxLayout& layout) {
    const WinUtils::ComInitializer com;
    std::string out = "shortcuts:\n" + shortcutLine("desktop ", desktopShortcut());
    const std::filesystem::path menu = startMenuFolder();
    for (const wchar_t* name :
         {L"Korv.lnk", L"Korv Fault Reporter.lnk", L"App Recovery.lnk", L"Korv Updater.lnk"}) {
        out += shortcutLine("start menu Korv\\", menu / name);
    }
    return out + shortcutLine("client folder ", layout.clientPath / L"App Recovery.lnk");
}

void removeSuiteShortcuts() {
    std::error_code error;
    std::filesystem::remove(desktopShortcut(), error);
    std::filesystem::remove_all(startMenuFolder(), error);
}

}  // namespace kvx::sandbox
