#include "foundation/win/UserEnvironment.h"

#include <cwchar>

#include "foundation/SafeFormat.h"
#include "foundation/SystemLibrary.h"
#include "foundation/TextConversion.h"
#include "foundation/win/AutoHandle.h"
#include "foundation/win/ErrorText.h"

namespace kvx::WinUtils {
namespace {

using CreateEnvironmentBlockFn = BOOL WINAPI(LPVOID*, HANDLE, BOOL);
using DestroyEnvironmentBlockFn = BOOL WINAPI(LPVOID);

}  // namespace

bool parseEnvironmentBlock(const wchar_t* block, EnvironmentEntries& entries) {
    for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        const std::wstring_view text(entry);
        const size_t equals = text.find(L'=', 1);
        if (equals == std::wstring_view::npos) {
            return false;
        }
        entries.emplace_back(std::wstring(text.substr(0, equals)), std::wstring(text.substr(equals + 1)));
    }
    return true;
}

Result<std::string, std::string> serializeEnvironment(const EnvironmentEntries& entries) {
    std::string out;
    for (const auto& [name, value] : entries) {
        const std::wstring entry = name + L"=" + value;
        auto utf8 = foundation::wideToUtf8(entry.c_str(), static_cast<uint32_t>(entry.size()), true);
        if (utf8.isError()) {
            return Err{std::string("serialize environment failed")};
        }
        out += utf8.unwrap();
        out.push_back('\0');
    }
    out.push_back('\0');
    return Ok{std::move(out)};
}

Result<std::string, std::string> getUserEnvironment(HANDLE userToken) {
    if (!KernelHandleTraits::isValid(userToken)) {
        return Err{std::string("invalid user token")};
    }
    auto library = foundation::SystemLibrary::load(L"userenv.dll");
    if (library.isError()) {
        return Err{foundation::safeFormat("create environment block, error: [{}]",
                                          getErrorAsString(library.peekError().osError))};
    }
    auto userenv = library.unwrap();
    auto create = userenv.function<CreateEnvironmentBlockFn>("CreateEnvironmentBlock");
    auto destroy = userenv.function<DestroyEnvironmentBlockFn>("DestroyEnvironmentBlock");
    if (create.isError() || destroy.isError()) {
        return Err{foundation::safeFormat("create environment block, error: [{}]", getErrorAsString(ERROR_PROC_NOT_FOUND))};
    }
    void* block = nullptr;
    if (!create.peek()(&block, userToken, FALSE)) {
        return Err{foundation::safeFormat("create environment block, error: [{}]", getErrorAsString(GetLastError()))};
    }
    EnvironmentEntries entries;
    const bool parsed = parseEnvironmentBlock(static_cast<const wchar_t*>(block), entries);
    destroy.peek()(block);
    if (!parsed) {
        return Err{std::string("parse environment failed")};
    }
    return serializeEnvironment(entries);
}

}  // namespace kvx::WinUtils
