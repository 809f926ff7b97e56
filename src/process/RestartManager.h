#pragma once
// The Restart Manager calls the lock finder needs, behind an interface: rstrtmgr.dll is loaded at
// run time, and tests stand in for holders the test machine cannot name.

#include <windows.h>

#include <restartmanager.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kvx::services::process {

struct RmProcessEntry {
    uint32_t pid;
    std::wstring appName;
    uint32_t appType;
};

class IRestartManager {
public:
    virtual ~IRestartManager() = default;
    virtual DWORD startSession(DWORD& session) = 0;
    virtual DWORD registerFiles(DWORD session, const std::vector<std::wstring>& files) = 0;
    // Fills up to `room` entries; returns the Windows status (ERROR_MORE_DATA when more exist).
    virtual DWORD getList(DWORD session, uint32_t room, std::vector<RmProcessEntry>& entries) = 0;
    virtual DWORD endSession(DWORD session) = 0;
};

// The entries of one RmGetList answer: as many as it says it filled, never more than the room
// given (its count can exceed the room when it answers ERROR_MORE_DATA), without the pid-0 rows
// that name no process.
std::vector<RmProcessEntry> listedProcesses(const RM_PROCESS_INFO* infos, UINT filled, UINT room);

// The Windows Restart Manager; every call fails with the load error when rstrtmgr.dll is missing.
std::shared_ptr<IRestartManager> makeSystemRestartManager();

}  // namespace kvx::services::process
