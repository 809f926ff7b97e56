#include "framework/workqueue/WrappedTask.h"

#include <exception>
#include <new>
#include <system_error>

#include "foundation/Assert.h"
#include "framework/workqueue/WorkItem.h"

namespace kvx::foundation {

void WrappedTask::operator()() const {
    try {
        mTask();
    } catch (const std::bad_alloc&) {
        KVX_ASSERT_ALWAYS(AssertLevel::Warning, "Bad Alloc in [{}]", formatSourceLocation(mSource));
    } catch (const std::system_error& e) {
        KVX_ASSERT_ALWAYS(AssertLevel::Fatal, "UncaughtSystemError [{}:{}]:{} in {}", e.code().category().name(),
                          e.code().value(), e.what(), formatSourceLocation(mSource));
    } catch (const std::exception& e) {
        KVX_ASSERT_ALWAYS(AssertLevel::Fatal, "UncaughtException {}: in {}", e.what(), formatSourceLocation(mSource));
    }
}

}  // namespace kvx::foundation
