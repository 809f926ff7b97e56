#pragma once
// COM for the current thread, for as long as the owner lives. Uninitialises only what it initialised.

#include <objbase.h>

namespace kvx::WinUtils {

class ComInitializer {
public:
    explicit ComInitializer(DWORD model = COINIT_APARTMENTTHREADED) : mResult(CoInitializeEx(nullptr, model)) {}
    ComInitializer(const ComInitializer&) = delete;
    ComInitializer& operator=(const ComInitializer&) = delete;
    ~ComInitializer() {
        if (SUCCEEDED(mResult)) {
            CoUninitialize();
        }
    }

    // S_FALSE (already initialised on this thread) also counts; RPC_E_CHANGED_MODE does not.
    bool succeeded() const { return SUCCEEDED(mResult); }
    HRESULT result() const { return mResult; }

private:
    HRESULT mResult;
};

}  // namespace kvx::WinUtils
