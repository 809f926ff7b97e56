#pragma once
// Owner of one service-control-manager handle (a manager or a service).

#include <windows.h>

#include "foundation/Assert.h"
#include "foundation/win/UniqueHandle.h"

namespace kvx::services::platform {

struct ServiceHandleTraits {
    using Type = SC_HANDLE;
    static Type invalid() { return nullptr; }
    static bool isValid(Type handle) { return handle != nullptr; }
    static void close(Type handle) { CloseServiceHandle(handle); }
};

class AutoSC_HANDLE : public WinUtils::UniqueHandle<ServiceHandleTraits> {
public:
    using UniqueHandle::UniqueHandle;
    AutoSC_HANDLE() = default;
    AutoSC_HANDLE(AutoSC_HANDLE&&) noexcept = default;
    AutoSC_HANDLE& operator=(AutoSC_HANDLE&&) noexcept = default;

    // Taking a new handle while one is held is a programming error; the new one is kept anyway
    // (and the old one closed rather than leaked).
    AutoSC_HANDLE& operator=(SC_HANDLE handle) {
        const SC_HANDLE mHandle = get();  // the name the assertion's published text has always had
        KVX_ASSERT(foundation::AssertLevel::Error, mHandle == nullptr, "A service handle is already held");
        reset(handle);
        return *this;
    }

    // Same as get(); kept for the assertions whose published text names it.
    SC_HANDLE getHandle() const { return get(); }
};

}  // namespace kvx::services::platform
