#pragma once
// Pushes work items to queues at a time, once or periodically. Timers belong to whoever armed
// them; the dispatcher only holds weak references, so releasing a timer cancels it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "foundation/LockedValue.h"
#include "framework/workqueue/WorkItem.h"

namespace kvx::foundation {

class WorkQueue;

class WorkQueueTimer {
public:
    WorkQueueTimer(std::weak_ptr<WorkQueue> queue, WorkItem item, std::optional<uint32_t> periodMs)
        : mQueue(std::move(queue)), mItem(std::move(item)), mPeriodMs(periodMs) {}

    const std::weak_ptr<WorkQueue>& queue() const { return mQueue; }
    const WorkItem& item() const { return mItem; }
    std::optional<uint32_t> periodMs() const { return mPeriodMs; }

private:
    std::weak_ptr<WorkQueue> mQueue;
    WorkItem mItem;
    std::optional<uint32_t> mPeriodMs;
};

class WorkQueueTimerDispatcher {
public:
    WorkQueueTimerDispatcher() = default;
    ~WorkQueueTimerDispatcher();
    WorkQueueTimerDispatcher(const WorkQueueTimerDispatcher&) = delete;
    WorkQueueTimerDispatcher& operator=(const WorkQueueTimerDispatcher&) = delete;

    // Starts the "WorkQueueTimerDispatch" thread; false when it could not be started.
    bool start();
    void stop();

    // Due `delay` after now on the clock singleton's monotonic time; keep the result to keep the timer.
    std::shared_ptr<WorkQueueTimer> addTimer(const std::shared_ptr<WorkQueue>& queue, WorkItem item,
                                             std::chrono::milliseconds delay,
                                             std::optional<uint32_t> periodMs = std::nullopt);
    // Pushes the items of every timer that is due; returns how many were pushed.
    size_t dispatchDue();
    // Makes the thread look at the clock again (the clock may be virtual).
    void wake();
    size_t armedCount();

private:
    struct Entry {
        std::chrono::nanoseconds due;
        uint64_t order;  // ties fire in arming order
        std::weak_ptr<WorkQueueTimer> timer;
    };
    struct Later {
        bool operator()(const Entry& a, const Entry& b) const {
            return a.due != b.due ? a.due > b.due : a.order > b.order;
        }
    };
    struct ThreadData {
        std::vector<Entry> heap;  // min-heap by due time
        uint64_t nextOrder = 0;
        uint64_t changes = 0;
        bool running = false;
    };

    void run();
    static void insert(ThreadData& data, std::chrono::nanoseconds due, std::weak_ptr<WorkQueueTimer> timer);

    LockedValue<ThreadData> mData;
    std::condition_variable mChanged;
    std::thread mThread;
};

}  // namespace kvx::foundation
