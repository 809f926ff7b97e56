#pragma once
// Value-or-error return type of every operation that can fail. A result is ok, error, or invalid
// (moved from or unwrapped); misuse is a programming error: it is asserted, then thrown.

#include <stdexcept>
#include <type_traits>
#include <utility>
#include <variant>

#include "foundation/Assert.h"

namespace kvx {

template <typename T>
struct Ok {
    T value;
};
template <>
struct Ok<void> {};
Ok() -> Ok<void>;
template <typename T>
Ok(T) -> Ok<T>;

template <typename E>
struct Err {
    E error;
};
template <typename E>
Err(E) -> Err<E>;

namespace detail {
[[noreturn]] void resultMisuse(const char* function, const char* assertText, const char* exceptionText);
void resultNotSet(const char* function);
}  // namespace detail

template <typename T, typename E>
class [[nodiscard]] Result {
    using OkSlot = std::conditional_t<std::is_void_v<T>, Ok<void>, Ok<T>>;

public:
    template <typename U>
        requires(!std::is_void_v<T> && std::is_constructible_v<T, U &&>)
    Result(Ok<U>&& ok) : mState(std::in_place_index<1>, OkSlot{T(std::move(ok.value))}) {}
    Result(Ok<void>)
        requires std::is_void_v<T>
        : mState(std::in_place_index<1>, OkSlot{}) {}
    template <typename F>
        requires std::is_constructible_v<E, F &&>
    Result(Err<F>&& err) : mState(std::in_place_index<2>, Err<E>{E(std::move(err.error))}) {}

    Result(Result&& other) noexcept : mState(std::exchange(other.mState, std::monostate{})) {}
    Result& operator=(Result&& other) noexcept {
        mState = std::exchange(other.mState, std::monostate{});
        return *this;
    }
    Result(const Result&) = default;
    Result& operator=(const Result&) = default;

    bool isOk() const {
        checkSet();
        return mState.index() == 1;
    }
    bool isError() const {
        checkSet();
        return mState.index() == 2;
    }
    bool isValid() const { return mState.index() != 0; }

    // Moves the value out; the result becomes invalid.
    auto unwrap() {
        if (mState.index() != 1) {
            detail::resultMisuse(__PRETTY_FUNCTION__, "error/invalid result may not be unwrapped as success",
                                 "Unwrapping error/invalid as success");
        }
        auto slot = std::move(std::get<1>(mState));
        mState = std::monostate{};
        if constexpr (!std::is_void_v<T>) {
            return T(std::move(slot.value));
        }
    }

    // Looks at the value without consuming it.
    template <typename U = T>
        requires(!std::is_void_v<U>)
    const U& peek() const {
        if (mState.index() != 1) {
            detail::resultMisuse(__PRETTY_FUNCTION__, "error result may not be unwrapped as success",
                                 "Unwrapping error as success");
        }
        return std::get<1>(mState).value;
    }

    E unwrapError() {
        checkErrorAccess(__PRETTY_FUNCTION__);
        E error = std::move(std::get<2>(mState).error);
        mState = std::monostate{};
        return error;
    }
    const E& peekError() const {
        checkErrorAccess(__PRETTY_FUNCTION__);
        return std::get<2>(mState).error;
    }

private:
    void checkSet() const {
        if (mState.index() == 0) {
            detail::resultNotSet(__PRETTY_FUNCTION__);
        }
    }
    void checkErrorAccess(const char* function) const {
        if (mState.index() != 2) {
            detail::resultMisuse(function, "success result may not be unwrapped as an error",
                                 "Success result unwrapped as error");
        }
    }

    std::variant<std::monostate, OkSlot, Err<E>> mState;
};

}  // namespace kvx
