#pragma once
// A named queue of work items served by its worker threads, first in, first out.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "framework/workqueue/WorkItem.h"

namespace kvx::foundation {

class WorkQueueTimerDispatcher;

// Receives the items pushed to a queue instead of the queue itself.
using PushReplacement = std::function<void(WorkItem item)>;

class WorkQueue {
public:
    // Pending items at which a backup is reported, once each time the length reaches it.
    static constexpr size_t kBackupWarningLength = 20;

    WorkQueue(WorkQueueIndex index, std::string name, PushReplacement pushReplacement, PushReplacement secondary,
              std::shared_ptr<WorkQueueTimerDispatcher> timerDispatcher);

    void push(WorkItem item);
    // Waits while the queue is empty and running; false when woken by a stop with nothing to take.
    bool pop(WorkItem& item);
    // Clears the running flag and wakes every waiting worker.
    void stop();

    bool isRunning() const { return mRunning.load(); }
    // Called once per worker thread started on this queue.
    void addWorker() { ++mWorkers; }
    // Whether a pushed item is ever run: by a worker, or by the replacement receiving it.
    bool isServed() const { return mWorkers.load() > 0 || static_cast<bool>(mPushReplacement); }
    size_t pendingCount() const;
    WorkQueueIndex index() const { return mIndex; }
    const std::string& name() const { return mName; }
    const std::shared_ptr<WorkQueueTimerDispatcher>& timerDispatcher() const { return mTimerDispatcher; }

private:
    const WorkQueueIndex mIndex;
    const std::string mName;
    mutable std::recursive_mutex mMutex;
    std::condition_variable_any mCondition;
    std::deque<WorkItem> mItems;
    std::atomic<bool> mRunning{true};
    std::atomic<uint32_t> mWorkers{0};
    uint32_t mNextSequence = 0;
    PushReplacement mPushReplacement;
    PushReplacement mSecondary;  // kept with the queue; the program does not call it
    std::shared_ptr<WorkQueueTimerDispatcher> mTimerDispatcher;
};

}  // namespace kvx::foundation
