// A real Windows service for the service-control tests. Arguments: service name, behaviour, wait
// hint in ms. Behaviours when asked to stop: "normal" stops at once; "stuck-stop" stays stop-
// pending; "bounce" reports stop-pending and then running again. "stuck-start" never leaves
// start-pending. It ends by itself after a minute so that a failed test leaves nothing behind.
#include <windows.h>

#include <cwchar>
#include <string>

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
    status.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP;
    status.dwCheckPoint = ++gCheckPoint;
    status.dwWaitHint = waitHint;
    SetServiceStatus(gStatusHandle, &status);
}

DWORD WINAPI handler(DWORD control, DWORD, void*, void*) {
    if (control != SERVICE_CONTROL_STOP) {
        return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
    }
    if (gMode == L"normal") {
        report(SERVICE_STOPPED, 0);
        SetEvent(gStopEvent);
    } else if (gMode == L"bounce") {
        report(SERVICE_STOP_PENDING, gWaitHint);
        report(SERVICE_RUNNING, 0);
    } else {
        report(SERVICE_STOP_PENDING, gWaitHint);
    }
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD, wchar_t**) {
    gStatusHandle = RegisterServiceCtrlHandlerExW(gName.c_str(), handler, nullptr);
    if (gStatusHandle == nullptr) {
        return;
    }
    if (gMode == L"stuck-start") {
        report(SERVICE_START_PENDING, gWaitHint);
    } else {
        report(SERVICE_RUNNING, 0);
    }
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
