#include "framework/workqueue/Win32ThreadPlatform.h"

#include <windows.h>
#include <objbase.h>

#include "foundation/TextConversion.h"

namespace kvx {
namespace {

using SetThreadDescriptionFn = HRESULT WINAPI(HANDLE, PCWSTR);

// Windows 10 1607 and later only, so looked up rather than imported.
SetThreadDescriptionFn* setThreadDescription() {
    static SetThreadDescriptionFn* const function = [] {
        HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
        FARPROC proc = kernel32 != nullptr ? GetProcAddress(kernel32, "SetThreadDescription") : nullptr;
        return reinterpret_cast<SetThreadDescriptionFn*>(reinterpret_cast<void*>(proc));
    }();
    return function;
}

class Win32ThreadPlatform final : public IThreadPlatform {
public:
    void nameCurrentThread(const std::string& name) override {
        if (SetThreadDescriptionFn* describe = setThreadDescription()) {
            describe(GetCurrentThread(), foundation::widen(name, KVX_SOURCE_LOCATION).c_str());
        }
    }
    uint32_t currentThreadId() override { return GetCurrentThreadId(); }
    uint32_t currentProcessId() override { return GetCurrentProcessId(); }
    Result<void, int32_t> initializeCom() override {
        const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (FAILED(result)) {
            return Err{static_cast<int32_t>(result)};
        }
        return Ok{};
    }
    void uninitializeCom() override { CoUninitialize(); }
};

}  // namespace

IThreadPlatform& win32ThreadPlatform() {
    static Win32ThreadPlatform platform;
    return platform;
}

}  // namespace kvx
