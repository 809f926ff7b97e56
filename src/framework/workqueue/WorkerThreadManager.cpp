#include "framework/workqueue/WorkerThreadManager.h"

#include <algorithm>

#include <fmt/format.h>

#include "foundation/Assert.h"
#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "framework/workqueue/NamedThread.h"
#include "framework/workqueue/WorkQueueSystem.h"

namespace kvx::apps {
namespace {

// A finishing worker is noticed within this much real time; the rest of each step is a clock sleep.
constexpr auto kRealWaitPerStep = std::chrono::milliseconds(1);
constexpr auto kClockStep = std::chrono::milliseconds(10);

}  // namespace

WorkerThreadManager::~WorkerThreadManager() {
    if (!mWorkerContexts.empty()) {
        term();
    }
}

void WorkerThreadManager::init(size_t totalWorkers) {
    mWorkerContexts.clear();
    mWorkerContexts.resize(totalWorkers);
    mWorkersCreated = 0;
}

void WorkerThreadManager::startWorkers(const std::shared_ptr<foundation::WorkQueue>& queue, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        createWorker(queue, fmt::format("{}-{}", queue->name(), i));
    }
}

void WorkerThreadManager::createWorker(const std::shared_ptr<foundation::WorkQueue>& queue, const std::string& name) {
    const size_t index = mWorkersCreated;
    if (index >= mWorkerContexts.size()) {
        KVX_ASSERT(foundation::AssertLevel::Fatal, index < mWorkerContexts.size(),
                   "Maximum number of threads reached, can't create a new worker thread, index :{} "
                   "mWorkerContexts.size: {}",
                   index, mWorkerContexts.size());
        return;
    }
    WorkerContext& context = mWorkerContexts[index];
    context.name = name;
    context.state = std::make_shared<WorkerState>();
    auto thread = makeNamedKorvThread(name, [queue, state = context.state] { workerBody(queue, *state); });
    if (thread.isOk()) {
        context.thread = thread.unwrap();
        ++mWorkersCreated;
        queue->addWorker();
        return;
    }
    KVX_LOG_ERROR("Could not start worker thread [{}]: {}", name, thread.peekError());
    context.state.reset();
}

void WorkerThreadManager::workerBody(const std::shared_ptr<foundation::WorkQueue>& queue, WorkerState& state) {
    foundation::setCurrentWorkQueueIndex(queue->index());
    foundation::WorkItem item;
    while (state.running) {
        if (queue->pop(item)) {
            item.execute();
            item = {};
        } else if (!queue->isRunning()) {
            break;  // stopped queue, nothing left to take: waiting again would spin
        }
    }
    std::lock_guard lock(state.mutex);
    state.ended = true;
    state.endedCondition.notify_all();
}

void WorkerThreadManager::stopWorker(size_t index) {
    if (index >= mWorkersCreated) {
        KVX_ASSERT(foundation::AssertLevel::Fatal, index < mWorkersCreated,
                   "The worker thread index doesn't exists, it can't be stopped, index:{} , mWorkersCreated:{}", index,
                   mWorkersCreated);
        return;
    }
    mWorkerContexts[index].state->running = false;
}

void WorkerThreadManager::stopAllWorkers() {
    for (size_t i = 0; i < mWorkersCreated; ++i) {
        stopWorker(i);
    }
}

bool WorkerThreadManager::waitForEnd(WorkerState& state, std::chrono::nanoseconds deadline) {
    auto& clock = foundation::clock();
    std::unique_lock lock(state.mutex);
    while (!state.ended) {
        const auto now = clock.monotonicNow();
        if (now >= deadline) {
            return false;
        }
        const auto stepEnd = std::min<std::chrono::nanoseconds>(deadline, now + kClockStep);
        if (state.endedCondition.wait_for(lock, kRealWaitPerStep, [&state] { return state.ended; })) {
            return true;
        }
        // The deadline is on the clock singleton, which tests replace with virtual time.
        lock.unlock();
        clock.sleepUntil(stepEnd);
        lock.lock();
    }
    return true;
}

bool WorkerThreadManager::waitForAll(uint32_t milliseconds) {
    const auto deadline = foundation::clock().monotonicNow() + std::chrono::milliseconds(milliseconds);
    for (size_t i = 0; i < mWorkersCreated; ++i) {
        if (!waitForEnd(*mWorkerContexts[i].state, deadline)) {
            return false;
        }
    }
    return true;
}

void WorkerThreadManager::term() {
    for (size_t i = 0; i < mWorkersCreated; ++i) {
        WorkerContext& context = mWorkerContexts[i];
        if (!context.thread.joinable()) {
            continue;
        }
        bool ended = false;
        {
            std::lock_guard lock(context.state->mutex);
            ended = context.state->ended;
        }
        if (ended) {
            context.thread.join();
        } else {
            KVX_ASSERT_ALWAYS(foundation::AssertLevel::Warning, "Worker thread ({}) did not shutdown upon request",
                              context.name);
            context.thread.detach();
        }
    }
    mWorkerContexts.clear();
    mWorkersCreated = 0;
}

void shutdownWorkQueues(WorkerThreadManager& manager) {
    constexpr int kWaitSteps = 20;
    constexpr uint32_t kWaitStepMs = 100;
    foundation::disableWorkSubmission();
    manager.stopAllWorkers();
    foundation::stopAllWorkQueueThreads();
    for (int step = 0; step < kWaitSteps && !manager.waitForAll(kWaitStepMs); ++step) {
        foundation::stopAllWorkQueueThreads();
    }
    manager.term();
    foundation::termWorkQueueSystem();
}

}  // namespace kvx::apps
