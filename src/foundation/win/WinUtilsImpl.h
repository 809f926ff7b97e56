#pragma once
// Its method list is a fixed contract: methods that nothing here calls yet stay.
// The Windows queries other parts reach through one replaceable, process-wide object, so that
// tests can stand in for what the test machine lacks (an interactive session, another user).

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/Result.h"
#include "foundation/win/AutoHandle.h"

namespace kvx::WinUtils {

class WinUtilsImpl {
public:
    virtual ~WinUtilsImpl() = default;

    // True unless the window station says it is not visible; asked once.
    virtual bool isInteractiveWindowStation();
    virtual Result<AutoHandle, std::string> getUserImpersonationToken(const std::string& userName);
    virtual Result<AutoHandle, std::string> getActiveUserImpersonationToken();
    virtual Result<std::string, std::string> getUserEnvironment(HANDLE userToken);
    virtual Result<AutoHandle, std::string> getProcessImpersonationToken(uint32_t pid, const std::wstring& expectedPath);
    // Null: this process.
    virtual Result<std::string, std::string> getUserSid(HANDLE process);
    // 100-ns units since 1601 as whole seconds since 1970; earlier times give 0.
    virtual int64_t fileTimeToSeconds(uint64_t fileTime);
    // The image file name of the process that owns the top-level window of the class (and title).
    virtual Result<std::string, std::string> getWindowProcessName(const std::wstring& windowClass,
                                                                  const std::wstring& windowTitle);
    // "PendingFileRenameOperations" of the session manager, as a list.
    virtual Result<std::vector<std::string>, std::string> getPendingFileRenames();
    virtual bool canRead(const std::wstring& file);
    virtual bool canWrite(const std::wstring& file);
    virtual bool canList(const std::wstring& directory);
    virtual Result<void, std::string> tryRemoveReadOnlyAttribute(const std::wstring& file);
    // A primary token of the interactive session's user.
    virtual Result<AutoHandle, std::string> getInteractiveSessionUserToken();

private:
    std::optional<bool> mInteractiveWindowStation;
};

// The process-wide object (a WinUtilsImpl unless replaced).
WinUtilsImpl& winUtils();
// Replaces the process-wide object; null restores the default. Returns the previous replacement.
std::shared_ptr<WinUtilsImpl> setWinUtils(std::shared_ptr<WinUtilsImpl> replacement);

}  // namespace kvx::WinUtils
