#include "process/SuiteExecutables.h"

namespace kvx::apps::suite {
namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

wchar_t asciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// The next element from `pos` (up to a separator), advancing `pos` past that separator.
std::wstring_view nextElement(std::wstring_view path, size_t& pos) {
    const size_t start = pos;
    while (pos < path.size() && !isSeparator(path[pos])) {
        ++pos;
    }
    const std::wstring_view element = path.substr(start, pos - start);
    if (pos < path.size()) {
        ++pos;
    }
    return element;
}

bool sameElement(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::unordered_set<std::string> getKnownExecutables(StopMode mode) {
    std::unordered_set<std::string> names{
        "KorvDesktop.exe",       "FaultReporter.exe",         "KorvLaunchHelper.exe", "KorvCefSubProcess.exe",
        "KorvConnect_microsoft.exe", "KorvCrashReporter.exe", "KorvEgsProxy.exe",     "KorvGEP.exe",
        "KorvLauncher.exe",      "KorvLocalHostSvc.exe",      "KorvSteamProxy.exe",   "KorvUninstall.exe",
        "OverlayProxy32.exe",    "Link2Korv.exe",             "PellamLegacyCompatibility.exe", "KorvUpdater.exe",
    };
    if (mode != kStopModeRepair) {
        names.insert(kOwnExecutable);
    }
    return names;
}

bool isPathWithin(std::wstring_view folder, std::wstring_view path) {
    size_t folderPos = 0;
    size_t pathPos = 0;
    while (folderPos < folder.size()) {
        const std::wstring_view folderElement = nextElement(folder, folderPos);
        if (folderElement.empty() && folderPos >= folder.size()) {
            break;  // a trailing separator ends the folder
        }
        if (pathPos > path.size() || !sameElement(folderElement, nextElement(path, pathPos))) {
            return false;
        }
    }
    return true;
}

}  // namespace kvx::apps::suite
