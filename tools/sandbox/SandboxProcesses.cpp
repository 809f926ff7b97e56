#include "SandboxProcesses.h"

#include <exdisp.h>

#include <algorithm>

#include "SandboxFiles.h"
#include "SandboxWaits.h"
#include "foundation/fs/PathRulesWin.h"
#include "foundation/win/AutoHandle.h"
#include "process/ProcessUtils.h"

namespace kvx::sandbox {

namespace {

using WinUtils::AutoHandle;

constexpr DWORD kExitWaitMs = 10000;

std::wstring normalised(std::wstring text) {
    std::replace(text.begin(), text.end(), L'/', L'\\');
    return fs::foldCrtCase(std::move(text));
}

std::wstring imagePath(DWORD pid) {
    AutoHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    std::wstring buffer(32768, L'\0');
    DWORD length = static_cast<DWORD>(buffer.size());
    if (!process || !QueryFullProcessImageNameW(process.get(), 0, buffer.data(), &length)) {
        return {};
    }
    buffer.resize(length);
    return buffer;
}

// Calls `visit` with the id and file name of every process (none when the walk cannot start).
template <typename Visit>
void forEachProcess(Visit visit) {
    (void)services::process::walkProcesses([&](const services::process::ProcessEntry& entry) {
        visit(entry.pid, std::wstring(entry.exeName));
        return true;
    });
}

bool isSuiteName(const std::wstring& name) {
    const std::wstring lower = normalised(name);
    if (lower == normalised(kDestagerExeName)) {
        return true;
    }
    const auto& programs = simulatedPrograms();
    return std::any_of(programs.begin(), programs.end(), [&](const auto& p) { return normalised(p) == lower; });
}

}  // namespace

Result<DWORD, std::string> startProgram(const std::filesystem::path& exe, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + exe.wstring() + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    const std::wstring folder = exe.parent_path().wstring();
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        folder.c_str(), &startup, &info)) {
        return Err{"cannot start [" + utf8(exe.wstring()) + "]: " + std::to_string(GetLastError())};
    }
    AutoHandle process(info.hProcess);
    AutoHandle thread(info.hThread);
    return Ok{info.dwProcessId};
}

namespace {

bool desktopShellAnswers() {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellWindows* windows = nullptr;
    const HRESULT hr = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows,
                                        reinterpret_cast<void**>(&windows));
    if (windows != nullptr) {
        windows->Release();
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return SUCCEEDED(hr);
}

}  // namespace

Result<void, std::string> ensureDesktopShell() {
    if (desktopShellAnswers()) {
        return Ok{};
    }
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    if (auto started = startProgram(std::filesystem::path(windows) / L"explorer.exe", L"/desktop=shell");
        started.isError()) {
        return Err{"desktop shell: " + started.unwrapError()};
    }
    if (!waitUntil(10000, desktopShellAnswers)) {
        return Err{std::string("the desktop shell does not answer")};
    }
    return Ok{};
}

std::vector<RunningProgram> runningSuitePrograms() {
    std::vector<RunningProgram> programs;
    forEachProcess([&](DWORD pid, const std::wstring& name) {
        if (isSuiteName(name)) {
            programs.push_back({pid, name, imagePath(pid)});
        }
    });
    std::sort(programs.begin(), programs.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return programs;
}

int endProgramsBelow(const std::filesystem::path& folder) {
    const DWORD self = GetCurrentProcessId();
    int ended = 0;
    forEachProcess([&](DWORD pid, const std::wstring&) {
        if (pid == self || !isBelow(folder, imagePath(pid))) {
            return;
        }
        AutoHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        if (process && TerminateProcess(process.get(), 1)) {
            WaitForSingleObject(process.get(), kExitWaitMs);
            ++ended;
        }
    });
    return ended;
}

bool isBelow(const std::filesystem::path& folder, const std::wstring& path) {
    std::wstring prefix = normalised(folder.wstring());
    if (prefix.empty() || path.empty()) {
        return false;
    }
    if (prefix.back() != L'\\') {
        prefix += L'\\';
    }
    return normalised(path).rfind(prefix, 0) == 0;
}

}  // namespace kvx::sandbox
