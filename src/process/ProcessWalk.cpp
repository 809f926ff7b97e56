#include <tlhelp32.h>
#include <windows.h>

#include "foundation/fs/PathRulesWin.h"
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
        return Err{
            ProcessWalkError{ProcessWalkError::Step::FirstEntry, static_cast<uint32_t>(GetLastError())}};
    }
    do {
        if (!visit(ProcessEntry{entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile})) {
            break;
        }
    } while (Process32NextW(snapshot.get(), &entry));
    return Ok{};
}

Result<WinUtils::AutoHandle, uint32_t> openIfStillNamed(uint32_t pid, const wchar_t* exeName,
                                                        uint32_t access) {
    auto process = processUtils().openProcess(pid, access | PROCESS_QUERY_LIMITED_INFORMATION);
    if (process.isError()) {
        // The usual answer for an id that no longer exists.
        return process.peekError() == ERROR_INVALID_PARAMETER
                   ? Result<WinUtils::AutoHandle, uint32_t>(Ok{WinUtils::AutoHandle()})
                   : Err{process.unwrapError()};
    }
    auto image = processUtils().getProcessImagePath(process.peek().get());
    if (image.isError()) {
        return Err{image.unwrapError()};
    }
    const std::wstring& path = image.peek();
    const std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    if (!fs::equalsFoldingCrtCase(name.c_str(), exeName)) {
        return Ok{WinUtils::AutoHandle()};
    }
    return process;
}

}  // namespace kvx::services::process
