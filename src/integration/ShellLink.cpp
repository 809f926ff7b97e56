#include "integration/ShellLink.h"

#include <objidl.h>
#include <propidl.h>
#include <propsys.h>
#include <shlguid.h>
#include <shobjidl.h>
#include <windows.h>
#include <wrl/client.h>

#include <array>
#include <cwchar>

#include "foundation/Logging.h"
#include "foundation/SafeFormat.h"
#include "foundation/TextConversion.h"
#include "foundation/fs/IFilesystem.h"

namespace kvx::services::platform {

namespace {

using Microsoft::WRL::ComPtr;

// The shell's application user model id of a link; spelled out so that no property-system
// library is needed for one key.
constexpr PROPERTYKEY kAppUserModelIdKey{
    {0x9f4c2855, 0x9f79, 0x4b39, {0xa8, 0xd0, 0xe1, 0xd4, 0x2d, 0xe1, 0xd5, 0xf3}}, 5};

std::string hresultText(HRESULT result) {
    return foundation::safeFormat("0x{:08x}", static_cast<uint32_t>(result));
}

std::wstring wide(const std::string& utf8) {
    return foundation::widen(utf8, KVX_SOURCE_LOCATION);
}

std::string utf8Of(const wchar_t* text) {
    return foundation::narrow(text, KVX_SOURCE_LOCATION);
}

// Owns the string a PROPVARIANT holds.
class StringPropVariant {
public:
    StringPropVariant() { PropVariantInit(&mValue); }
    explicit StringPropVariant(const std::wstring& text) : StringPropVariant() {
        const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        if (auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes))) {
            std::wmemcpy(copy, text.c_str(), text.size() + 1);
            mValue.vt = VT_LPWSTR;
            mValue.pwszVal = copy;
        }
    }
    ~StringPropVariant() { PropVariantClear(&mValue); }
    StringPropVariant(const StringPropVariant&) = delete;
    StringPropVariant& operator=(const StringPropVariant&) = delete;

    PROPVARIANT* get() { return &mValue; }
    bool holdsString() const { return mValue.vt == VT_LPWSTR && mValue.pwszVal != nullptr; }
    const wchar_t* text() const { return mValue.pwszVal; }

private:
    PROPVARIANT mValue;
};

bool fileExists(const std::string& path) {
    auto exists = fs::filesystem().exists(fs::Path::fromUtf8(path));
    return exists.isOk() && exists.peek();
}

}  // namespace

bool createShortcut(const std::string& shortcutPath, const std::string& targetPath,
                    const std::string& workingDirectory, int32_t iconIndex, const std::string& arguments,
                    const std::string& appUserModelId) {
    const fs::Path folder = fs::Path::fromUtf8(shortcutPath).parent();
    if (!fs::filesystem().isDirectory(folder)) {
        (void)fs::filesystem().createDirectories(folder);
    }
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&link))) ||
        FAILED(link.As(&file))) {
        return false;
    }
    const std::wstring path = wide(shortcutPath);
    const std::wstring target = wide(targetPath);
    const bool existed = fileExists(shortcutPath);
    if (existed) {
        if (const HRESULT loaded = file->Load(path.c_str(), STGM_READWRITE); FAILED(loaded)) {
            KVX_LOG_WARN("Failed to read from existing shortcut, result[{}], path[{}]", hresultText(loaded),
                         shortcutPath);
            return false;
        }
    }
    link->SetIconLocation(target.c_str(), iconIndex);
    link->SetPath(target.c_str());
    link->SetWorkingDirectory(wide(workingDirectory).c_str());
    if (!arguments.empty()) {
        link->SetArguments(wide(arguments).c_str());
    }
    if (!appUserModelId.empty()) {
        ComPtr<IPropertyStore> store;
        if (SUCCEEDED(link.As(&store))) {
            StringPropVariant id(wide(appUserModelId));
            store->SetValue(kAppUserModelIdKey, *id.get());
            store->Commit();
        }
    }
    if (file->IsDirty() == S_FALSE) {
        return true;
    }
    if (existed) {
        KVX_LOG_DEBUG("Updating existing shortcut file[{}]", shortcutPath);
    }
    if (const HRESULT saved = file->Save(path.c_str(), TRUE); FAILED(saved)) {
        KVX_LOG_WARN("Failed to save shortcut, result[{}], path[{}]", hresultText(saved), shortcutPath);
        return false;
    }
    return true;
}

std::optional<ShortcutContent> readShortcut(const std::string& shortcutPath) {
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&link))) ||
        FAILED(link.As(&file)) || FAILED(file->Load(wide(shortcutPath).c_str(), STGM_READ))) {
        return std::nullopt;
    }
    std::array<wchar_t, 4096> buffer{};
    const int size = static_cast<int>(buffer.size());
    ShortcutContent content;
    if (SUCCEEDED(link->GetPath(buffer.data(), size, nullptr, SLGP_RAWPATH))) {
        content.target = utf8Of(buffer.data());
    }
    buffer[0] = L'\0';
    if (SUCCEEDED(link->GetArguments(buffer.data(), size))) {
        content.arguments = utf8Of(buffer.data());
    }
    buffer[0] = L'\0';
    if (SUCCEEDED(link->GetWorkingDirectory(buffer.data(), size))) {
        content.workingDirectory = utf8Of(buffer.data());
    }
    buffer[0] = L'\0';
    int icon = 0;
    if (SUCCEEDED(link->GetIconLocation(buffer.data(), size, &icon))) {
        content.iconPath = utf8Of(buffer.data());
        content.iconIndex = icon;
    }
    ComPtr<IPropertyStore> store;
    StringPropVariant id;
    if (SUCCEEDED(link.As(&store)) && SUCCEEDED(store->GetValue(kAppUserModelIdKey, id.get()))) {
        content.appUserModelId = id.holdsString() ? utf8Of(id.text()) : std::string();
    }
    return content;
}

}  // namespace kvx::services::platform
