#include <windows.h>
#include <tlhelp32.h>

#include "foundation/win/AutoHandle.h"
#include "process/ProcessUtils.h"

namespace kvx::services::process {

Result<void, ProcessWalkError> walkProcesses(const std::function<bool(const ProcessEntry& process)>& visit) {
    const WinUtils::AutoHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return Err{ProcessWalkError{ProcessWalkError::Step::Snapshot, static_cast<uint32_t>(GetLastError())}};
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    if (!Process32FirstW(snapshot.get(), &entry)) {
        return Err{ProcessWalkError{ProcessWalkError::Step::FirstEntry, static_cast<uint32_t>(GetLastError())}};
    }
    do {
        if (!visit(ProcessEntry{entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile})) {
            break;
        }
    } while (Process32NextW(snapshot.get(), &entry));
    return Ok{};
}

}  // namespace kvx::services::process
