#include "VersionStamp.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "SandboxLayout.h"

namespace kvx::sandbox {

namespace {

// VS_VERSIONINFO with its fixed part only: header, the key "VS_VERSION_INFO", padding to a
// 32-bit boundary, then VS_FIXEDFILEINFO.
std::vector<uint8_t> versionResource(const FileVersion& version) {
    constexpr wchar_t kKey[] = L"VS_VERSION_INFO";
    constexpr size_t kHeader = 3 * sizeof(WORD);
    constexpr size_t kFixedOffset = (kHeader + sizeof(kKey) + 3) & ~size_t{3};
    std::vector<uint8_t> block(kFixedOffset + sizeof(VS_FIXEDFILEINFO), 0);
    const WORD header[3] = {static_cast<WORD>(block.size()), static_cast<WORD>(sizeof(VS_FIXEDFILEINFO)), 0};
    std::memcpy(block.data(), header, kHeader);
    std::memcpy(block.data() + kHeader, kKey, sizeof(kKey));

    VS_FIXEDFILEINFO info{};
    info.dwSignature = VS_FFI_SIGNATURE;
    info.dwStrucVersion = VS_FFI_STRUCVERSION;
    info.dwFileVersionMS = MAKELONG(version[1], version[0]);
    info.dwFileVersionLS = MAKELONG(version[3], version[2]);
    info.dwProductVersionMS = info.dwFileVersionMS;
    info.dwProductVersionLS = info.dwFileVersionLS;
    info.dwFileOS = VOS_NT_WINDOWS32;
    info.dwFileType = VFT_APP;
    std::memcpy(block.data() + kFixedOffset, &info, sizeof(info));
    return block;
}

}  // namespace

std::optional<FileVersion> parseFileVersion(const std::string& text) {
    FileVersion version{};
    size_t position = 0;
    for (size_t part = 0; part < version.size(); ++part) {
        const size_t end = part + 1 < version.size() ? text.find('.', position) : text.size();
        if (end == std::string::npos || end == position || end - position > 5) {
            return std::nullopt;
        }
        unsigned long value = 0;
        for (size_t i = position; i < end; ++i) {
            if (text[i] < '0' || text[i] > '9') {
                return std::nullopt;
            }
            value = value * 10 + static_cast<unsigned long>(text[i] - '0');
        }
        if (value > 0xffff) {
            return std::nullopt;
        }
        version[part] = static_cast<uint16_t>(value);
        position = end + 1;
    }
    return version;
}

std::string fileVersionText(const FileVersion& version) {
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]) + "." +
           std::to_string(version[3]);
}

Result<void, std::string> stampFileVersion(const std::filesystem::path& exe, const FileVersion& version) {
    HANDLE update = BeginUpdateResourceW(exe.c_str(), FALSE);
    if (update == nullptr) {
        return Err{"BeginUpdateResource [" + utf8(exe.wstring()) + "] failed: " + std::to_string(GetLastError())};
    }
    std::vector<uint8_t> block = versionResource(version);
    const BOOL added = UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO),
                                       MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), block.data(),
                                       static_cast<DWORD>(block.size()));
    const DWORD addError = GetLastError();
    // Ending the update discards it when the resource could not be added.
    if (!EndUpdateResourceW(update, added ? FALSE : TRUE) || !added) {
        return Err{"version resource of [" + utf8(exe.wstring()) + "] not written: " +
                   std::to_string(added ? GetLastError() : addError)};
    }
    return Ok{};
}

}  // namespace kvx::sandbox
