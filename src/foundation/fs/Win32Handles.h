#pragma once
// Owners of the Win32 handles the filesystem layer opens.

#include <windows.h>

#include <cstdint>

#include "foundation/win/AutoHandle.h"

namespace kvx::fs::detail {

inline uint32_t lastOsError() {
    return static_cast<uint32_t>(GetLastError());
}

// Directory searches: FindFirstFileW reports failure only as INVALID_HANDLE_VALUE.
struct FindHandleTraits {
    using Type = HANDLE;
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static bool isValid(Type handle) { return handle != INVALID_HANDLE_VALUE; }
    static void close(Type handle) { FindClose(handle); }
};

using FileHandle = WinUtils::AutoHandle;
using FindHandle = WinUtils::UniqueHandle<FindHandleTraits>;

}  // namespace kvx::fs::detail
