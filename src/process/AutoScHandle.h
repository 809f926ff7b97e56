#pragma once
// Owner of one service-control-manager handle (a manager or a service).

#include <windows.h>

#include <utility>

#include "foundation/Assert.h"

namespace kvx::services::platform {

class AutoSC_HANDLE {
public:
    AutoSC_HANDLE() = default;
    explicit AutoSC_HANDLE(SC_HANDLE handle) : mHandle(handle) {}
    AutoSC_HANDLE(AutoSC_HANDLE&& other) noexcept : mHandle(std::exchange(other.mHandle, nullptr)) {}
    AutoSC_HANDLE& operator=(AutoSC_HANDLE&& other) noexcept {
        if (this != &other) {
            close();
            mHandle = std::exchange(other.mHandle, nullptr);
        }
        return *this;
    }
    AutoSC_HANDLE(const AutoSC_HANDLE&) = delete;
    AutoSC_HANDLE& operator=(const AutoSC_HANDLE&) = delete;
    ~AutoSC_HANDLE() { close(); }

    // Taking a new handle while one is held is a programming error; the new one is kept anyway
    // (and the old one closed rather than leaked).
    AutoSC_HANDLE& operator=(SC_HANDLE handle) {
        KVX_ASSERT(foundation::AssertLevel::Error, mHandle == nullptr, "A service handle is already held");
        close();
        mHandle = handle;
        return *this;
    }

    SC_HANDLE getHandle() const { return mHandle; }

    void close() {
        if (mHandle != nullptr) {
            CloseServiceHandle(std::exchange(mHandle, nullptr));
        }
    }

private:
    SC_HANDLE mHandle = nullptr;
};

}  // namespace kvx::services::platform
