// A real Windows service for the service-control tests. Arguments: service name, behaviour, wait
// hint in ms. Behaviours when asked to stop: "normal" stops at once; "slow" reports stop-pending and
// then stopped from another thread; "stuck-stop" stays stop-pending; "bounce" reports stop-pending
// and then running again; "refuse" accepts no stop. "stuck-start" never leaves start-pending. It
// ends by itself after a minute so that a failed test leaves nothing behind.
#include <windows.h>

#include <cwchar>
#include <string>

#include "foundation/win/AutoHandle.h"

namespace {

std::wstring gName;
std::wstring gMode;
DWORD gWaitHint = 0;
SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
HANDLE gStopEvent = nullptr;
DWORD gCheckPoint = 0;

void report(DWORD state, DWORD waitHint) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    const bool acceptsStop = state != SERVICE_START_PENDING && gMode != L"refuse";
    status.dwControlsAccepted = acceptsStop ? SERVICE_ACCEPT_STOP : 0;
    status.dwCheckPoint = ++gCheckPoint;
    status.dwWaitHint = waitHint;
    SetServiceStatus(gStatusHandle, &status);
}

DWORD WINAPI stopNow(void*) {
    report(SERVICE_STOPPED, 0);
    SetEvent(gStopEvent);
    return 0;
}

DWORD WINAPI handler(DWORD control, DWORD, void*, void*) {
    if (control != SERVICE_CONTROL_STOP || gMode == L"refuse") {
        return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
    }
    if (gMode == L"normal") {
        stopNow(nullptr);
        return NO_ERROR;
    }
    report(SERVICE_STOP_PENDING, gWaitHint);
    if (gMode == L"bounce") {
        report(SERVICE_RUNNING, 0);
    } else if (gMode == L"slow") {
        const kvx::WinUtils::AutoHandle detached(CreateThread(nullptr, 0, stopNow, nullptr, 0, nullptr));
    }
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD, wchar_t**) {
    gStatusHandle = RegisterServiceCtrlHandlerExW(gName.c_str(), handler, nullptr);
    if (gStatusHandle == nullptr) {
        return;
    }
    report(gMode == L"stuck-start" ? SERVICE_START_PENDING : SERVICE_RUNNING, gWaitHint);
    if (WaitForSingleObject(gStopEvent, 60000) != WAIT_OBJECT_0) {
        report(SERVICE_STOPPED, 0);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        return 2;
    }
    gName = argv[1];
    gMode = argv[2];
    gWaitHint = argc > 3 ? static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)) : 0;
    gStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SERVICE_TABLE_ENTRYW table[] = {{gName.data(), serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
