#include "framework/workqueue/WorkQueue.h"

#include "foundation/Assert.h"
#include "framework/workqueue/WorkQueueSystem.h"

namespace kvx::foundation {

WorkQueue::WorkQueue(WorkQueueIndex index, std::string name, PushReplacement pushReplacement,
                     PushReplacement secondary, std::shared_ptr<WorkQueueTimerDispatcher> timerDispatcher)
    : mIndex(index),
      mName(std::move(name)),
      mPushReplacement(std::move(pushReplacement)),
      mSecondary(std::move(secondary)),
      mTimerDispatcher(std::move(timerDispatcher)) {}

void WorkQueue::push(WorkItem item) {
    if (!isWorkSubmissionEnabled()) {
        return;
    }
    if (mPushReplacement) {
        mPushReplacement(std::move(item));
        return;
    }
    {
        std::lock_guard lock(mMutex);
        item.stamp(mIndex, mNextSequence++);
        mItems.push_back(std::move(item));
        if (mItems.size() == kBackupWarningLength) {
            KVX_ASSERT_ALWAYS(AssertLevel::Warning, "WorkQueue backup detected in [{}]", mName);
        }
    }
    mCondition.notify_one();
}

bool WorkQueue::pop(WorkItem& item) {
    std::unique_lock lock(mMutex);
    mCondition.wait(lock, [this] { return !mItems.empty() || !mRunning; });
    if (mItems.empty()) {
        return false;
    }
    item = std::move(mItems.front());
    mItems.pop_front();
    return true;
}

void WorkQueue::stop() {
    {
        std::lock_guard lock(mMutex);
        mRunning = false;
    }
    mCondition.notify_all();
}

size_t WorkQueue::pendingCount() const {
    std::lock_guard lock(mMutex);
    return mItems.size();
}

}  // namespace kvx::foundation
