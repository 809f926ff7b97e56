#include "foundation/Result.h"

namespace kvx::detail {

void resultMisuse(const char* function, const char* assertText, const char* exceptionText) {
    foundation::assertFailed(foundation::AssertLevel::Error, foundation::kUnconditionalAssert, function, assertText);
    throw std::logic_error(exceptionText);
}

void resultNotSet(const char* function) {
    foundation::assertFailed(foundation::AssertLevel::Error, "isValid()", function,
                             "results must be set to ok/err before use");
}

}  // namespace kvx::detail
