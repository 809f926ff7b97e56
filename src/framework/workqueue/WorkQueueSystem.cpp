#include "framework/workqueue/WorkQueueSystem.h"

#include <atomic>
#include <map>

#include <fmt/format.h>

#include "foundation/Assert.h"
#include "framework/workqueue/WorkQueueTimerDispatcher.h"

namespace kvx::foundation {
namespace {

// Written by the main thread during start-up and shutdown only; atomics because workers read them.
std::vector<std::shared_ptr<WorkQueue>> sWorkQueues;
std::map<std::string, WorkQueueIndex, std::less<>> sWorkQueueIdByName;
std::shared_ptr<WorkQueueTimerDispatcher> sTimerDispatcher;
std::atomic<bool> sInitialized{false};
std::atomic<bool> sSubmissionEnabled{false};
thread_local WorkQueueIndex tls_currentQueue = INVALID_WORKQUEUE_INDEX;

bool checkInitialized() {
    KVX_ASSERT(AssertLevel::Fatal, isWorkQueueSystemInitialized(), "not initialized");
    return isWorkQueueSystemInitialized();
}

bool addQueue(const WorkQueueDescription& description) {
    const auto index = static_cast<WorkQueueIndex>(sWorkQueues.size());
    const std::string name = description.name.empty() ? fmt::format("q{}", index) : description.name;
    KVX_ASSERT(AssertLevel::Fatal, sWorkQueueIdByName.find(name) == sWorkQueueIdByName.end(),
               "queue names must be unique ({})", name);
    auto spWorkQueue = std::make_shared<WorkQueue>(index, name, description.pushReplacement, description.secondary,
                                                   sTimerDispatcher);
    if (spWorkQueue == nullptr) {
        KVX_ASSERT_ALWAYS(AssertLevel::Fatal, "spWorkQueue is null");
        return false;
    }
    sWorkQueues.push_back(std::move(spWorkQueue));
    sWorkQueueIdByName.emplace(name, index);
    return true;
}

}  // namespace

WorkQueueHandle::WorkQueueHandle(std::string_view name) : mIndex(getWorkQueueIndexByName(name)) {
    KVX_ASSERT(AssertLevel::Fatal, isValidWorkQueueIndex(mIndex), "unable to locate queue with matching name ({})",
               name);
}

bool initWorkQueueSystem(const std::vector<WorkQueueDescription>& descriptions) {
    if (isWorkQueueSystemInitialized()) {
        KVX_ASSERT(AssertLevel::Fatal, isWorkQueueSystemInitialized() == false, "already initialized");
        return false;
    }
    sTimerDispatcher = std::make_shared<WorkQueueTimerDispatcher>();
    for (const WorkQueueDescription& description : descriptions) {
        if (!addQueue(description)) {
            return false;
        }
    }
    sInitialized = true;
    sSubmissionEnabled = true;
    sTimerDispatcher->start();
    return true;
}

bool isWorkQueueSystemInitialized() { return sInitialized.load(); }

bool isWorkSubmissionEnabled() { return sSubmissionEnabled.load(); }

bool isValidWorkQueueIndex(WorkQueueIndex index) { return index < sWorkQueues.size(); }

WorkQueueIndex getWorkQueueIndexByName(std::string_view name) {
    if (!checkInitialized()) {
        return INVALID_WORKQUEUE_INDEX;
    }
    const auto found = sWorkQueueIdByName.find(name);
    return found == sWorkQueueIdByName.end() ? INVALID_WORKQUEUE_INDEX : found->second;
}

std::shared_ptr<WorkQueue> getWorkQueue(WorkQueueHandle handle) {
    const WorkQueueIndex index = handle.index();
    if (index == INVALID_WORKQUEUE_INDEX) {
        KVX_ASSERT(AssertLevel::Fatal, index != INVALID_WORKQUEUE_INDEX, "use of uninitialized WorkQueueHandle handle");
        return nullptr;
    }
    return getWorkQueue(index);
}

std::shared_ptr<WorkQueue> getWorkQueue(WorkQueueIndex index) {
    if (!checkInitialized()) {
        return nullptr;
    }
    if (!isValidWorkQueueIndex(index)) {
        KVX_ASSERT(AssertLevel::Fatal, isValidWorkQueueIndex(index), "illegal work queue handle ({})", index);
        return nullptr;
    }
    return sWorkQueues[index];
}

std::shared_ptr<WorkQueueTimerDispatcher> getWorkQueueTimerDispatcher() {
    return checkInitialized() ? sTimerDispatcher : nullptr;
}

void disableWorkSubmission() {
    if (checkInitialized()) {
        sSubmissionEnabled = false;
    }
}

void stopAllWorkQueueThreads() {
    if (!checkInitialized()) {
        return;
    }
    for (const auto& queue : sWorkQueues) {
        queue->stop();
    }
}

void termWorkQueueSystem() {
    if (!checkInitialized()) {
        return;
    }
    stopAllWorkQueueThreads();
    sTimerDispatcher->stop();
    sWorkQueues.clear();
    sWorkQueueIdByName.clear();
    sTimerDispatcher.reset();
    sSubmissionEnabled = false;
    sInitialized = false;
}

WorkQueueIndex currentWorkQueueIndex() { return tls_currentQueue; }

void setCurrentWorkQueueIndex(WorkQueueIndex index) { tls_currentQueue = index; }

}  // namespace kvx::foundation
