#include "DestagerRun.h"

#include <windows.h>

#include "SandboxLayout.h"
#include "foundation/win/AutoHandle.h"

namespace kvx::sandbox {

Result<DestagerOutcome, std::string> runDestager(const std::filesystem::path& exePath, const std::wstring& arguments,
                                                 uint32_t timeoutMs) {
    const std::wstring exe = exePath.wstring();
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    const std::wstring folder = exePath.parent_path().wstring();
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    const ULONGLONG begin = GetTickCount64();
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &info)) {
        return Err{"cannot start [" + utf8(exe) + "]: " + std::to_string(GetLastError())};
    }
    WinUtils::AutoHandle process(info.hProcess);
    WinUtils::AutoHandle thread(info.hThread);
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 10000);
        return Err{"the destager did not finish within " + std::to_string(timeoutMs) + " ms and was ended"};
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    return Ok{DestagerOutcome{static_cast<int32_t>(exitCode), GetTickCount64() - begin}};
}

}  // namespace kvx::sandbox
