#pragma once
// Owner of one kernel handle (process, thread, token, event, file, snapshot).

#include <windows.h>

#include "foundation/win/UniqueHandle.h"

namespace kvx::WinUtils {

// The API reports failure as null or as INVALID_HANDLE_VALUE depending on the function, so
// neither is ever closed.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type invalid() { return nullptr; }
    static bool isValid(Type handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void close(Type handle) { CloseHandle(handle); }
};

using AutoHandle = UniqueHandle<KernelHandleTraits>;

}  // namespace kvx::WinUtils
