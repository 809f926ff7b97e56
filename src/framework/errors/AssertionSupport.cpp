#include <memory>

#include "framework/errors/AssertionHandler.h"
#include "framework/errors/Win32StackSymbols.h"

namespace kvx::foundation {
namespace {

// Set between initAssertions and terminateAssertions; the application core calls both on the
// main thread.
std::unique_ptr<AssertHandler> sAssertFailureFn;

}  // namespace

void initAssertions(AssertHandler handler) {
    KVX_ASSERT(AssertLevel::Fatal, sAssertFailureFn == nullptr, "asserts already initialized");
    if (sAssertFailureFn != nullptr) {
        return;
    }
    sAssertFailureFn = std::make_unique<AssertHandler>(handler);
    setAssertHandler(std::move(handler));
    openStackSymbols();
}

void terminateAssertions() {
    setAssertHandler({});
    sAssertFailureFn.reset();
    closeStackSymbols();
}

}  // namespace kvx::foundation
