// REG_MULTI_SZ values and subkey enumeration.
#include "foundation/Assert.h"
#include "foundation/TextConversion.h"
#include "foundation/registry/RegistryEnumeration.h"
#include "foundation/registry/RegistryKey.h"

namespace kvx::foundation {

namespace {
std::string toUtf8(std::wstring_view text) {
    return wideCharToUtf8(text, false, SourceLocation{__FILE__, "RegistryKey", __LINE__});
}
}  // namespace

std::vector<std::string> splitMultiStringBuffer(const std::vector<wchar_t>& buffer) {
    KVX_ASSERT(AssertLevel::Error, !buffer.empty(), "Buffer must not be empty");
    if (buffer.empty()) {
        return {};
    }
    const bool terminated = buffer.back() == L'\0';
    KVX_ASSERT(AssertLevel::Error, terminated, "Buffer must be null terminated");
    if (!terminated || buffer.size() == 1) {
        return {};
    }
    std::vector<std::string> strings;
    size_t position = 0;
    while (position < buffer.size() - 1) {
        const std::wstring_view entry(buffer.data() + position);
        strings.push_back(toUtf8(entry));
        position += entry.size() + 1;
    }
    return strings;
}

Result<std::vector<std::string>, std::string> RegistryKey::getMultiString(std::string_view valueName) const {
    if (!isValid()) {
        return Err{std::string("Key not valid")};
    }
    const std::wstring name = wideName(valueName);
    DWORD type = REG_NONE;
    DWORD size = 0;
    LSTATUS status = registryProxy().RegGetValueW(handle(), nullptr, name.c_str(), RRF_RT_REG_MULTI_SZ, &type,
                                                  nullptr, &size);
    KVX_ASSERT(AssertLevel::Error, status != 234L,
               "Must not get an insufficient buffer error when requesting buffer size");
    if (status == ERROR_FILE_NOT_FOUND) {
        return Err{fmt::format("Value not found, name[{}], status[{}]", valueName, status)};
    }
    if (status != ERROR_SUCCESS) {
        if (type == REG_MULTI_SZ) {
            return Err{fmt::format("Failed to read value size, name[{}], status[{}]", valueName, status)};
        }
        return Err{fmt::format("Value must be REG_MULTI_SZ type, name[{}], status[{}], type[{}]", valueName, status,
                               type)};
    }
    std::vector<wchar_t> buffer(size / sizeof(wchar_t));
    status = registryProxy().RegGetValueW(handle(), nullptr, name.c_str(), RRF_RT_REG_MULTI_SZ, &type, buffer.data(),
                                          &size);
    if (status != ERROR_SUCCESS) {
        return Err{fmt::format("Failed to read value data, name[{}], status[{}]", valueName, status)};
    }
    buffer.resize(size / sizeof(wchar_t));
    return Ok{splitMultiStringBuffer(buffer)};
}

namespace registry_detail {

void enumerateNames(const EnumerateAt& enumerateAt, const std::function<bool(const std::string&)>& callback) {
    for (DWORD index = 0;; ++index) {
        std::array<wchar_t, kEnumNameChars> name{};
        DWORD length = kEnumNameChars;
        const LSTATUS status = enumerateAt(index, name.data(), &length);
        if (status == ERROR_NO_MORE_ITEMS || status == ERROR_INVALID_HANDLE) {
            return;
        }
        // A name that does not fit (or any other error) skips this index only.
        if (status == ERROR_SUCCESS && !callback(toUtf8(std::wstring_view(name.data(), length)))) {
            return;
        }
    }
}

}  // namespace registry_detail

void RegistryKey::enumSubKeys(const std::function<bool(const std::string& name)>& callback) const {
    if (!isValid()) {
        return;
    }
    // Enumeration is not one of the proxy's operations; it reads this key's own handle directly.
    registry_detail::enumerateNames(
        [this](DWORD index, wchar_t* name, DWORD* length) {
            return ::RegEnumKeyExW(handle(), index, name, length, nullptr, nullptr, nullptr, nullptr);
        },
        callback);
}

}  // namespace kvx::foundation
