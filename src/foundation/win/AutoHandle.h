#pragma once
// Owner of one kernel handle: closed when the owner goes away, never copied.

#include <windows.h>

#include <utility>

namespace kvx::WinUtils {

class AutoHandle {
public:
    AutoHandle() = default;
    explicit AutoHandle(HANDLE handle) : mHandle(handle) {}
    AutoHandle(AutoHandle&& other) noexcept : mHandle(std::exchange(other.mHandle, nullptr)) {}
    AutoHandle& operator=(AutoHandle&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.mHandle, nullptr));
        }
        return *this;
    }
    AutoHandle(const AutoHandle&) = delete;
    AutoHandle& operator=(const AutoHandle&) = delete;
    ~AutoHandle() { reset(); }

    HANDLE get() const { return mHandle; }
    bool isValid() const { return isValidHandle(mHandle); }
    explicit operator bool() const { return isValid(); }

    // Gives the handle up without closing it.
    HANDLE release() { return std::exchange(mHandle, nullptr); }

    void reset(HANDLE handle = nullptr) {
        HANDLE old = std::exchange(mHandle, handle);
        if (isValidHandle(old)) {
            CloseHandle(old);
        }
    }

    static bool isValidHandle(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE mHandle = nullptr;
};

}  // namespace kvx::WinUtils
