#pragma once
// Owners of the Win32 handles the filesystem layer opens.

#include <windows.h>

#include <cstdint>
#include <utility>

namespace kvx::fs::detail {

inline uint32_t lastOsError() {
    return static_cast<uint32_t>(GetLastError());
}

template <typename Traits>
class UniqueWin32Handle {
public:
    UniqueWin32Handle() = default;
    explicit UniqueWin32Handle(HANDLE handle) : mHandle(handle) {}
    UniqueWin32Handle(UniqueWin32Handle&& other) noexcept
        : mHandle(std::exchange(other.mHandle, Traits::invalid())) {}
    UniqueWin32Handle& operator=(UniqueWin32Handle&& other) noexcept {
        if (this != &other) {
            reset();
            mHandle = std::exchange(other.mHandle, Traits::invalid());
        }
        return *this;
    }
    UniqueWin32Handle(const UniqueWin32Handle&) = delete;
    UniqueWin32Handle& operator=(const UniqueWin32Handle&) = delete;
    ~UniqueWin32Handle() { reset(); }

    HANDLE get() const { return mHandle; }
    bool valid() const { return mHandle != Traits::invalid(); }
    void reset() {
        if (valid()) {
            Traits::close(mHandle);
            mHandle = Traits::invalid();
        }
    }

private:
    HANDLE mHandle = Traits::invalid();
};

struct FileHandleTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE handle) { CloseHandle(handle); }
};
struct FindHandleTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE handle) { FindClose(handle); }
};

using FileHandle = UniqueWin32Handle<FileHandleTraits>;
using FindHandle = UniqueWin32Handle<FindHandleTraits>;

}  // namespace kvx::fs::detail
