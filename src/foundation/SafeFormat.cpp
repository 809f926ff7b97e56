#include "foundation/SafeFormat.h"

#include <exception>

namespace kvx::foundation {

std::string safeVFormat(fmt::string_view format, fmt::format_args args) {
    try {
        return fmt::vformat(format, args);
    } catch (const std::exception& e) {
        return fmt::format("[ERROR] LOG or ASSERT may have an invalid format or arguments: fmt[{}], exception[{}]",
                           format, e.what());
    }
}

}  // namespace kvx::foundation
