#include "framework/workqueue/WorkItem.h"

#include <string_view>

#include <fmt/format.h>

#include "foundation/Assert.h"
#include "framework/workqueue/WrappedTask.h"

namespace kvx::foundation {
namespace {

thread_local bool tls_working = false;

}  // namespace

std::string formatSourceLocation(const SourceLocation& location) {
    std::string_view file = location.file != nullptr ? location.file : "";
    const size_t slash = file.find_last_of("\\/");
    if (slash != std::string_view::npos) {
        file.remove_prefix(slash + 1);
    }
    return fmt::format("{}:{}:{}", file, location.function != nullptr ? location.function : "", location.line);
}

void WorkItem::execute() {
    if (tls_working) {
        KVX_ASSERT(AssertLevel::Fatal, ! tls_working, "work item execution may not be nested {}",
                   formatSourceLocation(mSource));
        return;
    }
    struct WorkingFlag {
        WorkingFlag() { tls_working = true; }
        ~WorkingFlag() { tls_working = false; }
    } working;
    if (mTask) {
        mTask();
    }
}

WorkItem makeWorkItem(std::function<void()> task, SourceLocation source) {
    return WorkItem(WrappedTask(std::move(task), source), source);
}

}  // namespace kvx::foundation
