#pragma once
// The one owner of system handles, keys and buffers: it holds one value, gives it back to the
// system exactly once (when destroyed, reset or overwritten by a move) and is never copied. The
// traits say what the value is, which values hold nothing and how a held value is given back.

#include <utility>

namespace kvx::WinUtils {

// Traits: `Type`; `static Type invalid()`, what an empty owner holds; `static bool isValid(Type)`;
// `static void close(Type)`, only ever called with a valid value.
template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type handle) noexcept : mHandle(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : mHandle(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Type get() const noexcept { return mHandle; }
    bool valid() const noexcept { return Traits::isValid(mHandle); }
    explicit operator bool() const noexcept { return valid(); }

    // Gives the value up without closing it; the owner holds nothing afterwards.
    Type release() noexcept { return std::exchange(mHandle, Traits::invalid()); }

    // Closes what is held and takes `handle` instead.
    void reset(Type handle = Traits::invalid()) noexcept {
        const Type old = std::exchange(mHandle, handle);
        if (Traits::isValid(old)) {
            Traits::close(old);
        }
    }

private:
    Type mHandle = Traits::invalid();
};

}  // namespace kvx::WinUtils
