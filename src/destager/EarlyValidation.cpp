#include "destager/EarlyValidation.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "destager/StagedFileCrcs.h"
#include "destager/StagedFileValidation.h"
#include "framework/workqueue/WorkQueue.h"

namespace kvx::apps::internal {

namespace {
// The findings are gathered by whichever thread claims them first: a worker, or the caller once
// it reports.
enum GatherState : int { kGatherQueued, kGatherRunning, kGatherDone, kGatherDropped };
}  // namespace

// Kept alive by the queued gathering too, which finds itself dropped when the run ended first.
struct EarlyValidation::Shared {
    fs::Path folder;
    fs::Path zipPath;
    bool destaged = false;
    std::atomic<int> state{kGatherQueued};
    std::mutex mutex;
    std::condition_variable gathered;
    std::optional<ValidationFindings> findings;
    bool gatheredByWorker = false;

    bool claim() {
        int expected = kGatherQueued;
        return state.compare_exchange_strong(expected, kGatherRunning);
    }
    void gather(bool byWorker) {
        // The findings catch what their own gathering throws; whatever else escapes must still end
        // the gathering, or report() and the destructor would wait for ever.
        try {
            findings.emplace(folder, zipPath, destaged);
        } catch (...) {
            findings.reset();
        }
        gatheredByWorker = byWorker;
        {
            std::lock_guard lock(mutex);
            state = kGatherDone;
        }
        gathered.notify_all();
    }
    void waitWhileGathering() {
        std::unique_lock lock(mutex);
        gathered.wait(lock, [&] { return state != kGatherRunning; });
    }
};

EarlyValidation::EarlyValidation(const fs::Path& folder, const fs::Path& zipPath, bool destaged)
    : mShared(std::make_shared<Shared>()) {
    mShared->folder = folder;
    mShared->zipPath = zipPath;
    mShared->destaged = destaged;
    if (std::shared_ptr<foundation::WorkQueue> queue = ioWorkQueue()) {
        queue->push(KVX_WORK_ITEM([shared = mShared] {
            if (shared->claim()) {
                shared->gather(true);
            }
        }));
    }
}

EarlyValidation::~EarlyValidation() {
    int expected = kGatherQueued;
    if (!mShared->state.compare_exchange_strong(expected, kGatherDropped)) {
        mShared->waitWhileGathering();
    }
    mShared->findings.reset();
}

void EarlyValidation::finishReading() {
    // Gathered here, it is still ahead of the stop, as a worker's would be.
    if (mShared->claim()) {
        mShared->gather(true);
    } else {
        mShared->waitWhileGathering();
    }
    if (mShared->findings) {
        mShared->findings->finishReading();
    }
}

void EarlyValidation::report() {
    if (mShared->claim()) {
        mShared->gather(false);
    } else {
        mShared->waitWhileGathering();
    }
    if (mShared->gatheredByWorker && (!mShared->findings || mShared->findings->archiveUnreadable())) {
        // A process being stopped may have held the archive; the caller's own look is the answer.
        mShared->findings.emplace(mShared->folder, mShared->zipPath, mShared->destaged);
    }
    if (mShared->findings) {
        mShared->findings->report();
        mShared->findings.reset();
    }
}

}  // namespace kvx::apps::internal
