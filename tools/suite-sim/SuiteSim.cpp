// A stand-in for any program of the suite, built under each suite executable name. Behaviour comes
// from "<own exe>.sim" beside it (key=value lines) and "--key=value" arguments, which win:
//   record=<file>      append pid, start time (UTC), working folder, the USERNAME it sees and
//                      command line to <file>
//   dll=<file name>    load this DLL from the program's own folder and keep it loaded
//   lifetime=<ms>      end after this long (default: run until ended)
//   service=<name>     run as this Windows service when the service manager started the program
//                      ("KorvBackgroundService.exe" always tries, under its own stem by default)
//   stop=<how>         as a service, when asked to stop: "normal" stops at once, "slow" reports
//                      stop-pending for stopDelay ms, "refuse" accepts no stop, "pending" stays
//                      stop-pending
//   waitHint=<ms>      the wait hint of every pending report
//   stopDelay=<ms>     how long "slow" stays stop-pending
#include <windows.h>

#include <cwchar>
#include <map>
#include <string>

#include "foundation/win/AutoHandle.h"

namespace {

std::map<std::wstring, std::wstring> gSettings;
SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
HANDLE gStopEvent = nullptr;
DWORD gCheckPoint = 0;

std::wstring setting(const wchar_t* key, const wchar_t* fallback = L"") {
    auto found = gSettings.find(key);
    return found == gSettings.end() ? fallback : found->second;
}

DWORD millis(const wchar_t* key, DWORD fallback) {
    const std::wstring value = setting(key);
    return value.empty() ? fallback : static_cast<DWORD>(std::wcstoul(value.c_str(), nullptr, 10));
}

void addSetting(std::wstring line) {
    while (!line.empty() && (line.back() == L'\r' || line.back() == L'\n' || line.back() == L' ')) {
        line.pop_back();
    }
    const size_t eq = line.find(L'=');
    if (eq != std::wstring::npos && eq > 0) {
        gSettings[line.substr(0, eq)] = line.substr(eq + 1);
    }
}

std::wstring ownPath() {
    wchar_t buffer[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    return std::wstring(buffer, length);
}

std::wstring folderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/") + 1); }

std::wstring stemOf(const std::wstring& path) {
    std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    return name.substr(0, name.find_last_of(L'.'));
}

std::string utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring fromUtf8(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

void readSettingsFile(const std::wstring& path) {
    const kvx::WinUtils::AutoHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return;
    }
    std::string content(64 * 1024, '\0');
    DWORD read = 0;
    ReadFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &read, nullptr);
    content.resize(read);
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        end = end == std::string::npos ? content.size() : end;
        addSetting(fromUtf8(content.substr(start, end - start)));
        start = end + 1;
    }
}

void readArguments(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::wcsncmp(argv[i], L"--", 2) == 0) {
            addSetting(argv[i] + 2);
        }
    }
}

// One line per start, appended so that several programs may share the file.
void record() {
    const std::wstring target = setting(L"record");
    if (target.empty()) {
        return;
    }
    wchar_t cwd[MAX_PATH * 4] = {};
    GetCurrentDirectoryW(static_cast<DWORD>(std::size(cwd)), cwd);
    SYSTEMTIME now{};
    GetSystemTime(&now);
    wchar_t stamp[64];
    swprintf(stamp, std::size(stamp), L"%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    wchar_t user[256] = {};
    GetEnvironmentVariableW(L"USERNAME", user, static_cast<DWORD>(std::size(user)));
    const std::string line =
        utf8(L"pid=" + std::to_wstring(GetCurrentProcessId()) + L"\tstart=" + stamp + L"\tcwd=" + cwd +
             L"\tuser=" + user + L"\tcmd=" + GetCommandLineW() + L"\r\n");
    const kvx::WinUtils::AutoHandle file(CreateFileW(target.c_str(), FILE_APPEND_DATA,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                                     0, nullptr));
    if (file) {
        DWORD written = 0;
        WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
}

void report(DWORD state) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    const bool acceptsStop = state == SERVICE_RUNNING && setting(L"stop") != L"refuse";
    status.dwControlsAccepted = acceptsStop ? SERVICE_ACCEPT_STOP : 0;
    const bool pending = state != SERVICE_RUNNING && state != SERVICE_STOPPED;
    status.dwCheckPoint = pending ? ++gCheckPoint : 0;
    status.dwWaitHint = pending ? millis(L"waitHint", 0) : 0;
    SetServiceStatus(gStatusHandle, &status);
}

DWORD WINAPI slowStop(void*) {
    Sleep(millis(L"stopDelay", 1000));
    report(SERVICE_STOPPED);
    SetEvent(gStopEvent);
    return 0;
}

DWORD WINAPI handler(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_INTERROGATE) {
        return NO_ERROR;
    }
    if (control != SERVICE_CONTROL_STOP || setting(L"stop") == L"refuse") {
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
    const std::wstring how = setting(L"stop", L"normal");
    if (how == L"normal") {
        report(SERVICE_STOPPED);
        SetEvent(gStopEvent);
    } else {
        report(SERVICE_STOP_PENDING);
        if (how == L"slow") {
            const kvx::WinUtils::AutoHandle detached(CreateThread(nullptr, 0, slowStop, nullptr, 0, nullptr));
        }
    }
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD, wchar_t**) {
    gStatusHandle = RegisterServiceCtrlHandlerExW(setting(L"service").c_str(), handler, nullptr);
    if (gStatusHandle == nullptr) {
        return;
    }
    report(SERVICE_RUNNING);
    WaitForSingleObject(gStopEvent, millis(L"lifetime", INFINITE));
}

bool runAsService(const std::wstring& self) {
    const std::wstring stem = stemOf(self);
    if (setting(L"service").empty()) {
        if (lstrcmpiW(stem.c_str(), L"KorvBackgroundService") != 0) {
            return false;
        }
        gSettings[L"service"] = stem;
    }
    std::wstring name = setting(L"service");
    SERVICE_TABLE_ENTRYW table[] = {{name.data(), serviceMain}, {nullptr, nullptr}};
    // Started from a console or a test rather than by the service manager: behave as a program.
    return StartServiceCtrlDispatcherW(table) != FALSE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring self = ownPath();
    readSettingsFile(self + L".sim");
    readArguments(argc, argv);
    record();
    const std::wstring dll = setting(L"dll");
    if (!dll.empty() && LoadLibraryW((folderOf(self) + dll).c_str()) == nullptr) {
        return 3;
    }
    gStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (runAsService(self)) {
        return 0;
    }
    WaitForSingleObject(gStopEvent, millis(L"lifetime", INFINITE));
    return 0;
}
