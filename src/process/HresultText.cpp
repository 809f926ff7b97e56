#include "process/HresultText.h"

#include <fmt/format.h>

namespace kvx::services::process {

namespace {
constexpr uint32_t kFirstDispatchError = 0x80040200;
constexpr uint32_t kLastDispatchError = 0x8004FFFF;
}  // namespace

std::string hresultFallbackText(uint32_t hr) {
    if (hr >= kFirstDispatchError && hr <= kLastDispatchError) {
        return fmt::format("IDispatch error #{}", hr - kFirstDispatchError);
    }
    return fmt::format("Unknown error 0x{:X}", hr);
}

}  // namespace kvx::services::process
