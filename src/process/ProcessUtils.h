#pragma once
// Its method list is a fixed contract: methods that nothing here calls yet stay.
// The process utility service: process ids, handles, names and users, waits, and the query of
// who holds files open. One process-wide object, replaceable so tests can stand in for what the
// test machine cannot show.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Result.h"
#include "foundation/win/AutoHandle.h"

namespace kvx::services::process {

// Who holds some of a folder's modules.
struct LockReport {
    std::string lockingProcess;  // may be empty
    bool isSelf = false;         // the holder is this process
    std::set<std::string> lockedFiles;
};

enum class WaitCondition : uint32_t { Running = 0, NotRunning = 1 };

class ProcessUtils {
public:
    virtual ~ProcessUtils() = default;

    virtual uint32_t getCurrentProcessId() = 0;
    virtual HANDLE getCurrentProcessHandle() = 0;
    virtual bool isAdmin() = 0;
    virtual uint32_t getForegroundProcessId() = 0;
    virtual void getProcessLockingFiles(const std::vector<std::string>& files, bool checkModules,
                                        std::optional<LockReport>& report) = 0;
    virtual bool waitForProcessExit(const std::wstring& exePath, int64_t timeoutMs, int64_t pollMs) = 0;
    virtual bool waitForProcessRunning(const std::wstring& exePath, int64_t timeoutMs, int64_t pollMs) = 0;
    // Terminates and waits for the end.
    virtual bool terminateProcess(uint32_t pid, uint32_t exitCode) = 0;
    virtual std::optional<std::string> getProcessName(uint32_t pid) = 0;
    // The SID text and the account name of the user of a running process of that executable name.
    virtual std::optional<std::string> getExeUserId(const std::string& exeName) = 0;
    virtual std::optional<std::string> getExeUserName(const std::string& exeName) = 0;
    virtual std::optional<std::string> getProcessUserName(uint32_t pid) = 0;
    virtual std::string getCurrentWorkingDir() = 0;
    virtual Result<uint32_t, std::string> getParentProcessId(uint32_t pid) = 0;
    virtual Result<WinUtils::AutoHandle, uint32_t> openProcess(uint32_t pid, uint32_t access) = 0;
    virtual Result<std::wstring, uint32_t> getProcessImagePath(HANDLE process) = 0;
    virtual void forEachProcessId(const std::function<void(uint32_t pid)>& callback) = 0;
    // Whether the text is acceptable as the program's command line.
    virtual bool isValidCommandLine(std::string_view commandLine) = 0;
};

// One entry of a snapshot of the running processes; `exeName` (the image's file name) lives as
// long as the visit.
struct ProcessEntry {
    uint32_t pid;
    uint32_t parentPid;
    const wchar_t* exeName;
};

// Why a walk found nothing: the snapshot could not be taken, or its first entry not read.
struct ProcessWalkError {
    enum class Step { Snapshot, FirstEntry };
    Step step;
    uint32_t osError;
};

// The one walk over a snapshot of the running processes (Toolhelp, which also gives the parent
// and the executable name, unlike forEachProcessId): `visit` is called for each process until it
// returns false. Callers decide what a failed snapshot means to them.
Result<void, ProcessWalkError> walkProcesses(const std::function<bool(const ProcessEntry& process)>& visit);

// Opens `pid` only while it still runs an executable named `exeName`: between a snapshot and the
// open a process can end and its id go to another program, which must never be touched. An empty
// handle when the id is gone or now belongs to something else; the Windows error when the process
// cannot be opened or its image not read (through the process-wide service).
Result<WinUtils::AutoHandle, uint32_t> openIfStillNamed(uint32_t pid, const wchar_t* exeName, uint32_t access);

// The process-wide service (a ProcessUtilsImpl unless replaced).
ProcessUtils& processUtils();
// Replaces it; null restores the default. Returns the previous replacement.
std::shared_ptr<ProcessUtils> setProcessUtils(std::shared_ptr<ProcessUtils> replacement);

}  // namespace kvx::services::process
