#include "framework/workqueue/WorkQueueTimerDispatcher.h"

#include <algorithm>

#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "framework/workqueue/NamedThread.h"
#include "framework/workqueue/WorkQueue.h"

namespace kvx::foundation {

WorkQueueTimerDispatcher::~WorkQueueTimerDispatcher() { stop(); }

bool WorkQueueTimerDispatcher::start() {
    mData.checkedValue()->running = true;
    auto thread = makeNamedThread("WorkQueueTimerDispatch", [this] { run(); });
    if (thread.isError()) {
        mData.checkedValue()->running = false;
        KVX_LOG_ERROR("Could not start the timer thread: {}", thread.peekError());
        return false;
    }
    mThread = thread.unwrap();
    return true;
}

void WorkQueueTimerDispatcher::stop() {
    {
        auto data = mData.checkedValue();
        data->running = false;
        ++data->changes;
    }
    mChanged.notify_all();
    if (mThread.joinable()) {
        mThread.join();
    }
}

void WorkQueueTimerDispatcher::insert(ThreadData& data, std::chrono::nanoseconds due,
                                      std::weak_ptr<WorkQueueTimer> timer) {
    data.heap.push_back(Entry{due, data.nextOrder++, std::move(timer)});
    std::push_heap(data.heap.begin(), data.heap.end(), Later{});
    ++data.changes;
}

std::shared_ptr<WorkQueueTimer> WorkQueueTimerDispatcher::addTimer(const std::shared_ptr<WorkQueue>& queue,
                                                                   WorkItem item, std::chrono::milliseconds delay,
                                                                   std::optional<uint32_t> periodMs) {
    auto timer = std::make_shared<WorkQueueTimer>(queue, std::move(item), periodMs);
    const auto due = clock().monotonicNow() + delay;
    {
        auto data = mData.checkedValue();
        insert(*data, due, timer);
    }
    mChanged.notify_all();
    return timer;
}

size_t WorkQueueTimerDispatcher::dispatchDue() {
    std::vector<std::shared_ptr<WorkQueueTimer>> fired;
    {
        auto data = mData.checkedValue();
        const auto now = clock().monotonicNow();
        while (!data->heap.empty() && data->heap.front().due <= now) {
            std::pop_heap(data->heap.begin(), data->heap.end(), Later{});
            Entry entry = std::move(data->heap.back());
            data->heap.pop_back();
            auto timer = entry.timer.lock();
            if (!timer) {
                continue;  // released by its owner: cancelled
            }
            if (timer->periodMs().value_or(0) > 0) {
                insert(*data, entry.due + std::chrono::nanoseconds(int64_t{*timer->periodMs()} * 1'000'000), timer);
            }
            fired.push_back(std::move(timer));
        }
    }
    // Pushed outside the lock: a queue's push replacement may arm further timers.
    size_t pushed = 0;
    for (const auto& timer : fired) {
        if (auto queue = timer->queue().lock()) {
            queue->push(timer->item());
            ++pushed;
        }
    }
    return pushed;
}

void WorkQueueTimerDispatcher::wake() {
    {
        auto data = mData.checkedValue();
        ++data->changes;
    }
    mChanged.notify_all();
}

size_t WorkQueueTimerDispatcher::armedCount() { return mData.checkedValue()->heap.size(); }

void WorkQueueTimerDispatcher::run() {
    for (;;) {
        dispatchDue();
        auto data = mData.checkedValue();
        if (!data->running) {
            return;
        }
        const uint64_t seen = data->changes;
        const auto changed = [&data, seen] { return data->changes != seen; };
        if (data->heap.empty()) {
            mChanged.wait(data.lock(), changed);
        } else {
            const auto remaining = data->heap.front().due - clock().monotonicNow();
            mChanged.wait_for(data.lock(), std::max(remaining, std::chrono::nanoseconds::zero()), changed);
        }
    }
}

}  // namespace kvx::foundation
