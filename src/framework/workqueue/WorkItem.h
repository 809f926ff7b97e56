#pragma once
// A unit of background work: the callable, where it was created, and its place in its queue.

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "foundation/TextConversion.h"

namespace kvx::foundation {

using WorkQueueIndex = uint32_t;
inline constexpr WorkQueueIndex INVALID_WORKQUEUE_INDEX = std::numeric_limits<WorkQueueIndex>::max();

// "file:function:line", the file without its folders.
std::string formatSourceLocation(const SourceLocation& location);

class WorkItem {
public:
    WorkItem() = default;
    WorkItem(std::function<void()> task, SourceLocation source) : mTask(std::move(task)), mSource(source) {}

    // Runs the task; a work item may not run another one on the same thread.
    void execute();

    const SourceLocation& source() const { return mSource; }
    WorkQueueIndex queueIndex() const { return mQueueIndex; }
    uint32_t sequence() const { return mSequence; }
    void stamp(WorkQueueIndex queueIndex, uint32_t sequence) {
        mQueueIndex = queueIndex;
        mSequence = sequence;
    }

private:
    std::function<void()> mTask;
    SourceLocation mSource{"", "", 0};
    WorkQueueIndex mQueueIndex = INVALID_WORKQUEUE_INDEX;
    uint32_t mSequence = 0;
};

// Wraps `task` in the exception guard (WrappedTask) before storing it.
WorkItem makeWorkItem(std::function<void()> task, SourceLocation source);

}  // namespace kvx::foundation

#define KVX_WORK_ITEM(...) ::kvx::foundation::makeWorkItem((__VA_ARGS__), KVX_SOURCE_LOCATION)
