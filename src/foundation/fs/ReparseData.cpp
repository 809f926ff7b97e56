#include "foundation/fs/ReparseData.h"

#include <cstring>

namespace kvx::fs::detail {

namespace {
constexpr uint32_t kErrorNotAReparsePoint = 4390;
constexpr uint32_t kErrorInvalidReparseData = 4392;
constexpr std::wstring_view kNtPrefix = L"\\??\\";
constexpr std::wstring_view kNtUncPrefix = L"\\??\\UNC\\";

std::wstring withoutNtPrefix(std::wstring name) {
    if (name.starts_with(kNtUncPrefix)) {
        return L"\\\\" + name.substr(kNtUncPrefix.size());
    }
    if (name.starts_with(kNtPrefix)) {
        return name.substr(kNtPrefix.size());
    }
    return name;
}
}  // namespace

Result<std::wstring, uint32_t> substituteName(const uint8_t* data, size_t size) {
    if (size < sizeof(ReparseHeader)) {
        return Err(kErrorInvalidReparseData);
    }
    ReparseHeader header;
    std::memcpy(&header, data, sizeof(header));
    if (header.reparseTag != kTagSymlink && header.reparseTag != kTagMountPoint) {
        return Err(kErrorNotAReparsePoint);
    }
    const size_t namesAt = sizeof(ReparseHeader);
    const size_t bufferAt =
        namesAt + sizeof(LinkNames) + (header.reparseTag == kTagSymlink ? kSymlinkFlagsSize : 0);
    const size_t recordEnd = sizeof(ReparseHeader) + header.reparseDataLength;
    if (bufferAt > size || recordEnd > size) {
        return Err(kErrorInvalidReparseData);
    }
    LinkNames names;
    std::memcpy(&names, data + namesAt, sizeof(names));
    const size_t nameAt = bufferAt + names.substituteNameOffset;
    if (nameAt + names.substituteNameLength > recordEnd ||
        names.substituteNameLength % sizeof(wchar_t) != 0) {
        return Err(kErrorInvalidReparseData);
    }
    std::wstring name(names.substituteNameLength / sizeof(wchar_t), L'\0');
    std::memcpy(name.data(), data + nameAt, names.substituteNameLength);
    return Ok(withoutNtPrefix(std::move(name)));
}

}  // namespace kvx::fs::detail
