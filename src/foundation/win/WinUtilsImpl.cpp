#include "foundation/win/WinUtilsImpl.h"

#include <mutex>

#include "foundation/TextConversion.h"
#include "foundation/registry/RegistryKey.h"
#include "foundation/win/FileAccess.h"
#include "foundation/win/ProcessToken.h"
#include "foundation/win/Sessions.h"
#include "foundation/win/UserEnvironment.h"

namespace kvx::WinUtils {
namespace {

constexpr int64_t kEpochDifferenceSeconds = 11644473600;
constexpr uint64_t kFileTimeUnitsPerSecond = 10000000;
constexpr DWORD kListDirectory = 1;

std::mutex gReplacementMutex;
std::shared_ptr<WinUtilsImpl> gReplacement;

}  // namespace

bool WinUtilsImpl::isInteractiveWindowStation() {
    if (!mInteractiveWindowStation) {
        USEROBJECTFLAGS flags{};
        HWINSTA station = GetProcessWindowStation();
        const bool queried = station != nullptr &&
                             GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof(flags), nullptr) != FALSE;
        mInteractiveWindowStation = !queried || (flags.dwFlags & WSF_VISIBLE) != 0;
    }
    return *mInteractiveWindowStation;
}

Result<AutoHandle, std::string> WinUtilsImpl::getUserImpersonationToken(const std::string& userName) {
    auto session = findSessionOfUser(userName);
    if (session.isError()) {
        return Err{session.unwrapError()};
    }
    return WinUtils::getUserImpersonationToken(session.unwrap());
}

Result<AutoHandle, std::string> WinUtilsImpl::getActiveUserImpersonationToken() {
    const auto session = getInteractiveSessionId();
    if (!session) {
        return Err{std::string("no session for active user")};
    }
    return WinUtils::getUserImpersonationToken(*session);
}

Result<std::string, std::string> WinUtilsImpl::getUserEnvironment(HANDLE userToken) {
    return WinUtils::getUserEnvironment(userToken);
}

Result<AutoHandle, std::string> WinUtilsImpl::getProcessImpersonationToken(uint32_t pid,
                                                                           const std::wstring& expectedPath) {
    return WinUtils::getProcessImpersonationToken(pid, expectedPath);
}

Result<std::string, std::string> WinUtilsImpl::getUserSid(HANDLE process) { return getProcessUserSid(process); }

int64_t WinUtilsImpl::fileTimeToSeconds(uint64_t fileTime) {
    const int64_t seconds = static_cast<int64_t>(fileTime / kFileTimeUnitsPerSecond) - kEpochDifferenceSeconds;
    return seconds < 0 ? 0 : seconds;
}

Result<std::string, std::string> WinUtilsImpl::getWindowProcessName(const std::wstring& windowClass,
                                                                    const std::wstring& windowTitle) {
    HWND window = FindWindowW(windowClass.empty() ? nullptr : windowClass.c_str(),
                              windowTitle.empty() ? nullptr : windowTitle.c_str());
    DWORD pid = 0;
    if (window == nullptr || GetWindowThreadProcessId(window, &pid) == 0) {
        return Err{std::string("window not found")};
    }
    AutoHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    wchar_t image[MAX_PATH * 4];
    DWORD length = static_cast<DWORD>(std::size(image));
    if (!process || !QueryFullProcessImageNameW(process.get(), 0, image, &length)) {
        return Err{std::string("process of the window not readable")};
    }
    const std::wstring_view path(image, length);
    return Ok{foundation::narrow(path.substr(path.find_last_of(L"\\/") + 1), KVX_SOURCE_LOCATION)};
}

Result<std::vector<std::string>, std::string> WinUtilsImpl::getPendingFileRenames() {
    foundation::RegistryKey key(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", true, false);
    return key.getMultiString("PendingFileRenameOperations");
}

bool WinUtilsImpl::canRead(const std::wstring& file) { return hasAccess(file, GENERIC_READ, false); }
bool WinUtilsImpl::canWrite(const std::wstring& file) { return hasAccess(file, GENERIC_WRITE, false); }
bool WinUtilsImpl::canList(const std::wstring& directory) { return hasAccess(directory, kListDirectory, true); }

Result<void, std::string> WinUtilsImpl::tryRemoveReadOnlyAttribute(const std::wstring& file) {
    return WinUtils::tryRemoveReadOnlyAttribute(file);
}

Result<AutoHandle, std::string> WinUtilsImpl::getInteractiveSessionUserToken() {
    return WinUtils::getInteractiveSessionUserToken();
}

WinUtilsImpl& winUtils() {
    {
        std::lock_guard lock(gReplacementMutex);
        if (gReplacement) {
            return *gReplacement;
        }
    }
    static WinUtilsImpl instance;
    return instance;
}

std::shared_ptr<WinUtilsImpl> setWinUtils(std::shared_ptr<WinUtilsImpl> replacement) {
    std::lock_guard lock(gReplacementMutex);
    return std::exchange(gReplacement, std::move(replacement));
}

}  // namespace kvx::WinUtils
