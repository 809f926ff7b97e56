#pragma once
// The process-wide set of work queues, created once at start-up and torn down at exit.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/workqueue/WorkQueue.h"

namespace kvx::foundation {

struct WorkQueueDescription {
    std::string name;  // empty: "q" and the queue's index
    PushReplacement pushReplacement;
    PushReplacement secondary;
};

// Names a queue by index; one built from a name that matches no queue is reported when built.
class WorkQueueHandle {
public:
    WorkQueueHandle() = default;
    explicit WorkQueueHandle(WorkQueueIndex index) : mIndex(index) {}
    explicit WorkQueueHandle(std::string_view name);
    WorkQueueIndex index() const { return mIndex; }

private:
    WorkQueueIndex mIndex = INVALID_WORKQUEUE_INDEX;
};

bool initWorkQueueSystem(const std::vector<WorkQueueDescription>& descriptions);
bool isWorkQueueSystemInitialized();
bool isWorkSubmissionEnabled();
bool isValidWorkQueueIndex(WorkQueueIndex index);
WorkQueueIndex getWorkQueueIndexByName(std::string_view name);
// Null after reporting an unset handle or an index beyond the queues.
std::shared_ptr<WorkQueue> getWorkQueue(WorkQueueHandle handle);
std::shared_ptr<WorkQueue> getWorkQueue(WorkQueueIndex index);
std::shared_ptr<WorkQueueTimerDispatcher> getWorkQueueTimerDispatcher();
// Later pushes are dropped without a message.
void disableWorkSubmission();
// Stops every queue, waking its idle workers.
void stopAllWorkQueueThreads();
void termWorkQueueSystem();

// The queue the calling worker thread serves, or the invalid index on other threads.
WorkQueueIndex currentWorkQueueIndex();
void setCurrentWorkQueueIndex(WorkQueueIndex index);

}  // namespace kvx::foundation
