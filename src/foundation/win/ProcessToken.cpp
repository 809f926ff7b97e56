#include "foundation/win/ProcessToken.h"

#include <sddl.h>

#include <vector>

#include "foundation/Logging.h"
#include "foundation/SafeFormat.h"
#include "foundation/TextConversion.h"
#include "foundation/fs/PathRulesWin.h"
#include "foundation/win/ErrorText.h"
#include "foundation/win/SystemMemory.h"

namespace kvx::WinUtils {

Result<AutoHandle, std::string> getProcessImpersonationToken(uint32_t pid, const std::wstring& expectedPath) {
    AutoHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) {
        KVX_LOG_ERROR("Failed to open process with pid[{}]", pid);
        return Err{std::string("Failed to open process")};
    }
    wchar_t image[MAX_PATH * 4];
    DWORD length = static_cast<DWORD>(std::size(image));
    if (!QueryFullProcessImageNameW(process.get(), 0, image, &length)) {
        KVX_LOG_ERROR("Failed to get process name for pid[{}], error[{}]", pid, getErrorAsString(GetLastError()));
        return Err{std::string("Failed to get process name")};
    }
    const std::string expected = foundation::narrow(expectedPath, KVX_SOURCE_LOCATION);
    const std::string actual = foundation::narrow(std::wstring_view(image, length), KVX_SOURCE_LOCATION);
    const int compared = fs::compareFoldingOrdinalCase(expectedPath, std::wstring_view(image, length));
    if (compared == 0) {
        KVX_LOG_ERROR("Failed to compare process paths, expected[{}], actual[{}], error[{}]", expected, actual,
                      getErrorAsString(GetLastError()));
        return Err{std::string("Process path comparison failed")};
    }
    if (compared != CSTR_EQUAL) {
        KVX_LOG_ERROR("Process paths didn't match, expected[{}], actual[{}]", expected, actual);
        return Err{std::string("Process paths didn't match")};
    }
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(process.get(), TOKEN_DUPLICATE | TOKEN_QUERY, &rawToken)) {
        KVX_LOG_ERROR("Failed to open process access token, error[{}]", getErrorAsString(GetLastError()));
        return Err{std::string("Failed to open process access token")};
    }
    AutoHandle token(rawToken);
    HANDLE duplicate = nullptr;
    if (!DuplicateTokenEx(token.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenImpersonation, &duplicate)) {
        KVX_LOG_ERROR("Failed to duplicate process access token, error[{}]", getErrorAsString(GetLastError()));
        return Err{std::string("Failed to duplicate process access token")};
    }
    AutoHandle result(duplicate);
    if (!result) {
        return Err{std::string("Duplicated process access token is invalid")};
    }
    return Ok{std::move(result)};
}

Result<std::string, std::string> getProcessUserSid(HANDLE process) {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(process != nullptr ? process : GetCurrentProcess(), TOKEN_QUERY, &rawToken)) {
        return Err{std::string("Invalid SID")};
    }
    AutoHandle token(rawToken);
    std::vector<BYTE> buffer(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE);
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size)) {
        return Err{std::string("Invalid SID")};
    }
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    if (!IsValidSid(sid)) {
        return Err{std::string("Invalid SID")};
    }
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) {
        return Err{std::string("Failed to convert SID to wstring")};
    }
    const UniqueLocalMemory<wchar_t*> owned(text);
    auto utf8 = foundation::wideToUtf8(text, foundation::kMeasureLength, true);
    if (utf8.isError()) {
        return Err{foundation::safeFormat("Failed to convert SID to UTF-8: [{}]", utf8.peekError())};
    }
    return Ok{utf8.unwrap()};
}

}  // namespace kvx::WinUtils
