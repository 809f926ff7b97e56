#pragma once
// fmt formatting that never throws: a bad format or argument yields a line that says so, because a
// log or assert statement must not take the program down.

#include <string>
#include <string_view>

#include <fmt/format.h>

namespace kvx::foundation {

std::string safeVFormat(fmt::string_view format, fmt::format_args args);

template <typename... Args>
std::string safeFormat(fmt::format_string<Args...> format, Args&&... args) {
    return safeVFormat(static_cast<fmt::string_view>(format), fmt::make_format_args(args...));
}

}  // namespace kvx::foundation
