#pragma once
// Polling with real time: the sandbox waits for other processes, which report at their own pace.

#include <windows.h>

namespace kvx::sandbox {

// True as soon as `done()` holds; false when it still does not after `limitMs`.
template <typename Predicate>
bool waitUntil(DWORD limitMs, Predicate done) {
    const ULONGLONG end = GetTickCount64() + limitMs;
    while (!done()) {
        if (GetTickCount64() > end) {
            return false;
        }
        Sleep(50);
    }
    return true;
}

}  // namespace kvx::sandbox
