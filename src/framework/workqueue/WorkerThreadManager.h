#pragma once
// Owns the worker threads of every queue: creates them by name, stops them, waits for them with a
// deadline on the clock singleton, and abandons those that will not end.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/workqueue/WorkQueue.h"

namespace kvx::apps {

class WorkerThreadManager {
public:
    WorkerThreadManager() = default;
    ~WorkerThreadManager();
    WorkerThreadManager(const WorkerThreadManager&) = delete;
    WorkerThreadManager& operator=(const WorkerThreadManager&) = delete;

    void init(size_t totalWorkers);
    // Workers named "{queue}-{i}" for i in 0..count-1.
    void startWorkers(const std::shared_ptr<foundation::WorkQueue>& queue, uint32_t count);
    void createWorker(const std::shared_ptr<foundation::WorkQueue>& queue, const std::string& name);
    // The worker leaves its loop once its current item (if any) is done and its queue wakes it.
    void stopWorker(size_t index);
    void stopAllWorkers();
    // True when every created worker has ended by the deadline.
    bool waitForAll(uint32_t milliseconds);
    // Reports and abandons workers that are still running, then forgets every slot.
    void term();

    size_t workersCreated() const { return mWorkersCreated; }

private:
    // Shared with the thread itself, which outlives the manager when it is abandoned.
    struct WorkerState {
        std::atomic<bool> running{true};
        std::mutex mutex;
        std::condition_variable endedCondition;
        bool ended = false;
    };
    struct WorkerContext {
        std::string name;
        std::thread thread;
        std::shared_ptr<WorkerState> state;
    };

    static void workerBody(const std::shared_ptr<foundation::WorkQueue>& queue, WorkerState& state);
    static bool waitForEnd(WorkerState& state, std::chrono::nanoseconds deadline);

    std::vector<WorkerContext> mWorkerContexts;
    size_t mWorkersCreated = 0;
};

// Stops the queue system in the order that lets every worker finish: no more submissions, workers
// told to stop, queues woken, up to 20 waits of 100 ms, then the manager and the system end.
void shutdownWorkQueues(WorkerThreadManager& manager);

}  // namespace kvx::apps
