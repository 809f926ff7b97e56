#include "process/ProcessUtilsImpl.h"

#include <windows.h>
#include <psapi.h>

#include <mutex>

#include "foundation/Logging.h"
#include "foundation/SafeFormat.h"
#include "foundation/TextConversion.h"
#include "foundation/fs/PathRulesWin.h"
#include "foundation/win/ErrorText.h"
#include "foundation/win/ProcessToken.h"
#include "process/AdminCheck.h"
#include "process/CommandLinePattern.h"
#include "process/LockedModules.h"

namespace kvx::services::process {
namespace {

using WinUtils::AutoHandle;

constexpr size_t kMaxProcessIds = 65536;

std::mutex gReplacementMutex;
std::shared_ptr<ProcessUtils> gReplacement;

// The id of the first running process with that executable file name; a failed walk finds none.
std::optional<uint32_t> findProcessByName(const std::string& exeName) {
    const std::wstring wide = foundation::widen(exeName, KVX_SOURCE_LOCATION);
    std::optional<uint32_t> found;
    (void)walkProcesses([&](const ProcessEntry& process) {
        if (fs::equalsFoldingCrtCase(process.exeName, wide.c_str())) {
            found = process.pid;
        }
        return !found;
    });
    return found;
}

std::optional<std::string> accountNameOf(HANDLE process) {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &rawToken)) {
        return std::nullopt;
    }
    AutoHandle token(rawToken);
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size)) {
        return std::nullopt;
    }
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameLength = static_cast<DWORD>(std::size(name));
    DWORD domainLength = static_cast<DWORD>(std::size(domain));
    SID_NAME_USE use{};
    if (!LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, name, &nameLength, domain,
                           &domainLength, &use)) {
        return std::nullopt;
    }
    return foundation::narrow(name, KVX_SOURCE_LOCATION);
}

}  // namespace

ProcessUtilsImpl::ProcessUtilsImpl(std::shared_ptr<IRestartManager> restartManager)
    : mRestartManager(restartManager ? std::move(restartManager) : makeSystemRestartManager()) {}

uint32_t ProcessUtilsImpl::getCurrentProcessId() { return ::GetCurrentProcessId(); }

HANDLE ProcessUtilsImpl::getCurrentProcessHandle() { return ::GetCurrentProcess(); }

bool ProcessUtilsImpl::isAdmin() { return isTokenAdmin(); }

uint32_t ProcessUtilsImpl::getForegroundProcessId() {
    DWORD pid = 0;
    if (HWND window = GetForegroundWindow()) {
        GetWindowThreadProcessId(window, &pid);
    }
    return pid;
}

void ProcessUtilsImpl::getProcessLockingFiles(const std::vector<std::string>& files, bool checkModules,
                                              std::optional<LockReport>& report) {
    process::getProcessLockingFiles(*mRestartManager, *this, files, checkModules, report);
}

bool ProcessUtilsImpl::waitForProcessExit(const std::wstring& exePath, int64_t timeoutMs, int64_t pollMs) {
    return waitForProcess(exePath, WaitCondition::NotRunning, timeoutMs, pollMs);
}

bool ProcessUtilsImpl::waitForProcessRunning(const std::wstring& exePath, int64_t timeoutMs, int64_t pollMs) {
    return waitForProcess(exePath, WaitCondition::Running, timeoutMs, pollMs);
}

bool ProcessUtilsImpl::terminateProcess(uint32_t pid, uint32_t exitCode) {
    AutoHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (!process || !TerminateProcess(process.get(), exitCode)) {
        return false;
    }
    return WaitForSingleObject(process.get(), INFINITE) == WAIT_OBJECT_0;
}

std::optional<std::string> ProcessUtilsImpl::getProcessName(uint32_t pid) {
    auto process = openProcess(pid, PROCESS_QUERY_LIMITED_INFORMATION);
    auto path = process.isOk() ? getProcessImagePath(process.peek().get()) : Result<std::wstring, uint32_t>(Err{0u});
    if (path.isError()) {
        KVX_LOG_ERROR("Failed to get process name for pid[{}]", pid);
        return std::nullopt;
    }
    const std::wstring image = path.unwrap();
    return foundation::narrow(std::wstring_view(image).substr(image.find_last_of(L"\\/") + 1), KVX_SOURCE_LOCATION);
}

std::optional<std::string> ProcessUtilsImpl::getExeUserId(const std::string& exeName) {
    const auto pid = findProcessByName(exeName);
    AutoHandle process(pid ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, *pid) : nullptr);
    auto sid = process ? WinUtils::getProcessUserSid(process.get()) : Result<std::string, std::string>(Err{std::string()});
    if (sid.isError()) {
        KVX_LOG_ERROR("Could not retrieve user id for exe=[{}]", exeName);
        return std::nullopt;
    }
    return sid.unwrap();
}

std::optional<std::string> ProcessUtilsImpl::getExeUserName(const std::string& exeName) {
    const auto pid = findProcessByName(exeName);
    auto name = pid ? getProcessUserName(*pid) : std::nullopt;
    if (!name) {
        KVX_LOG_ERROR("Could not retrieve user name for exe=[{}]", exeName);
    }
    return name;
}

std::optional<std::string> ProcessUtilsImpl::getProcessUserName(uint32_t pid) {
    AutoHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    return process ? accountNameOf(process.get()) : std::nullopt;
}

std::string ProcessUtilsImpl::getCurrentWorkingDir() {
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    std::wstring directory(needed, L'\0');
    const DWORD length = GetCurrentDirectoryW(needed, directory.data());
    directory.resize(length < needed ? length : 0);
    return foundation::narrow(directory, KVX_SOURCE_LOCATION);
}

Result<uint32_t, std::string> ProcessUtilsImpl::getParentProcessId(uint32_t pid) {
    std::optional<uint32_t> parent;
    auto walked = walkProcesses([&](const ProcessEntry& process) {
        if (process.pid == pid) {
            parent = process.parentPid;
        }
        return !parent;
    });
    if (walked.isError()) {
        const ProcessWalkError error = walked.peekError();
        return Err{error.step == ProcessWalkError::Step::Snapshot
                       ? foundation::safeFormat("Unable to get process snapshot; error={}", error.osError)
                       : foundation::safeFormat("Unable to get first process; error= {}", error.osError)};
    }
    if (parent) {
        return Ok{*parent};
    }
    return Err{std::string("No parent process found in the list of running processes")};
}

Result<WinUtils::AutoHandle, uint32_t> ProcessUtilsImpl::openProcess(uint32_t pid, uint32_t access) {
    AutoHandle process(OpenProcess(access, FALSE, pid));
    if (!process) {
        return Err{static_cast<uint32_t>(GetLastError())};
    }
    return Ok{std::move(process)};
}

Result<std::wstring, uint32_t> ProcessUtilsImpl::getProcessImagePath(HANDLE process) {
    wchar_t image[MAX_PATH];
    DWORD length = static_cast<DWORD>(std::size(image));
    if (!QueryFullProcessImageNameW(process, 0, image, &length)) {
        return Err{static_cast<uint32_t>(GetLastError())};
    }
    return Ok{std::wstring(image, length)};
}

void ProcessUtilsImpl::forEachProcessId(const std::function<void(uint32_t pid)>& callback) {
    std::vector<DWORD> ids(kMaxProcessIds);
    DWORD bytes = 0;
    if (!K32EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) {
        return;
    }
    ids.resize(bytes / sizeof(DWORD));
    for (DWORD pid : ids) {
        callback(pid);
    }
}

bool ProcessUtilsImpl::isValidCommandLine(std::string_view commandLine) {
    return matchesCommandLinePattern(commandLine);
}

ProcessUtils& processUtils() {
    {
        std::lock_guard lock(gReplacementMutex);
        if (gReplacement) {
            return *gReplacement;
        }
    }
    static ProcessUtilsImpl instance;
    return instance;
}

std::shared_ptr<ProcessUtils> setProcessUtils(std::shared_ptr<ProcessUtils> replacement) {
    std::lock_guard lock(gReplacementMutex);
    return std::exchange(gReplacement, std::move(replacement));
}

}  // namespace kvx::services::process
