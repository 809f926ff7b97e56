#include "foundation/win/FileAccess.h"

#include <windows.h>

#include "foundation/Logging.h"
#include "foundation/SafeFormat.h"
#include "foundation/TextConversion.h"
#include "foundation/win/AutoHandle.h"
#include "foundation/win/ErrorText.h"

namespace kvx::WinUtils {

bool hasAccess(const std::wstring& path, uint32_t access, bool directory) {
    const std::string utf8 = foundation::narrow(path, KVX_SOURCE_LOCATION);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        KVX_LOG_ERROR("Path does not exist: [{}] Error=[{}]", utf8, getErrorAsString(GetLastError()));
        return false;
    }
    if (directory && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        KVX_LOG_ERROR("Path is not a directory: [{}]", utf8);
        return false;
    }
    const DWORD flags = directory ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL;
    AutoHandle handle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  flags, nullptr));
    if (!handle) {
        KVX_LOG_ERROR("Error accessing path: [{}] Error=[{}]", utf8, getErrorAsString(GetLastError()));
        return false;
    }
    return true;
}

Result<void, std::string> tryRemoveReadOnlyAttribute(const std::wstring& path) {
    const std::string utf8 = foundation::narrow(path, KVX_SOURCE_LOCATION);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return Err{foundation::safeFormat("Failed to open file: {}", utf8)};
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
        !SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))) {
        return Err{foundation::safeFormat("Failed to modify the attributes. path={}", utf8)};
    }
    return Ok{};
}

}  // namespace kvx::WinUtils
