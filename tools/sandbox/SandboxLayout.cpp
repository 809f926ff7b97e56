#include "SandboxLayout.h"

#include <windows.h>

#include "foundation/TextConversion.h"

namespace kvx::sandbox {

Result<SandboxLayout, std::string> makeLayout(const std::filesystem::path& installRoot, const std::wstring& stagedName) {
    std::wstring root = installRoot.wstring();
    while (root.size() > 3 && (root.back() == L'\\' || root.back() == L'/')) {
        root.pop_back();
    }
    const std::filesystem::path rootPath(root);
    if (!rootPath.is_absolute()) {
        return Err{"install root [" + utf8(root) + "] is not an absolute path"};
    }
    if (rootPath.filename() != kClientFolderName) {
        return Err{"install root [" + utf8(root) + "] must end in a folder named \"Korv Desktop\""};
    }
    if (stagedName.empty() || stagedName.find_first_of(L"\\/:") != std::wstring::npos) {
        return Err{"staged folder name [" + utf8(stagedName) + "] must be a plain folder name"};
    }
    SandboxLayout layout;
    layout.installRoot = rootPath;
    layout.clientPath = rootPath / kClientFolderName;
    layout.stagedFolder = rootPath / stagedName;
    layout.stagedClientPath = layout.stagedFolder / kClientFolderName;
    layout.zipPath = rootPath / (stagedName + L".zip");
    layout.stagedDestagerPath = layout.stagedClientPath / kDestagerExeName;
    return Ok{std::move(layout)};
}

SandboxSources sourcesInBuild(const std::filesystem::path& buildFolder) {
    return {buildFolder / L"suite-sim", buildFolder / L"sandbox" / L"destager",
            buildFolder / L"sandbox" / L"korv_sandbox.exe"};
}

std::filesystem::path ownFolder() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size()) {
            buffer.resize(length);
            return std::filesystem::path(buffer).parent_path();
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string utf8(const std::wstring& text) { return foundation::narrow(text, KVX_SOURCE_LOCATION); }
std::wstring wide(const std::string& text) { return foundation::widen(text, KVX_SOURCE_LOCATION); }

}  // namespace kvx::sandbox
