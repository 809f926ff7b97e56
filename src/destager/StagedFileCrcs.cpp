#include "destager/StagedFileCrcs.h"

#include <zlib.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "foundation/fs/IFilesystem.h"
#include "framework/workqueue/WorkQueueSystem.h"

namespace kvx::apps::internal {

namespace {

// Small: the six chunks in flight must fit, with everything else, in a 32 MiB peak working set for a
// 400 MiB archive; under Wine reads of this size went no slower than 1 MiB ones.
constexpr size_t kChunkSize = 128 << 10;
// Files in flight at most: one per worker the queue has by default, each with a chunk of its own,
// and far below the queue length that is reported as a backup.
constexpr size_t kReadAhead = 6;
constexpr const char* kQueueName = "global-io";
constexpr uint32_t kShareAll = fs::ShareRead | fs::ShareWrite | fs::ShareDelete;

// A file is read by whichever thread claims it first: a worker, or the caller once it needs it.
enum SlotState : int { kWaiting, kReading, kDone, kDropped };

// The open itself answers whether the file is there: an existence check before it cost a path
// walk per file under Wine.
FileCrc fileCrc32(const std::optional<fs::Path>& path, uint8_t* chunk) {
    if (!path) {
        return {FileCheck::Missing};
    }
    auto opened =
        fs::filesystem().open(*path, fs::FileAccess::Read, fs::CreateDisposition::OpenExisting, kShareAll);
    if (opened.isError()) {
        return {fs::isNotFoundError(opened.peekError()) ? FileCheck::Missing : FileCheck::Unreadable};
    }
    std::unique_ptr<fs::IFileStream> stream = opened.unwrap();
    uLong crc = crc32(0L, Z_NULL, 0);
    for (;;) {
        auto got = stream->read(chunk, kChunkSize);
        if (got.isError()) {
            return {FileCheck::Unreadable};
        }
        if (got.peek() == 0) {
            return {FileCheck::Read, static_cast<uint32_t>(crc)};
        }
        crc = crc32(crc, chunk, static_cast<uInt>(got.peek()));
    }
}

// Only a programming error found by a check throws; the file then counts as unreadable, so the
// validation still ends and the caller never waits for a slot that stays "reading".
FileCrc guardedFileCrc32(const std::optional<fs::Path>& path, uint8_t* chunk) {
    try {
        return fileCrc32(path, chunk);
    } catch (...) {
        return {FileCheck::Unreadable};
    }
}

}  // namespace

std::shared_ptr<foundation::WorkQueue> ioWorkQueue() {
    if (!foundation::isWorkQueueSystemInitialized() || !foundation::isWorkSubmissionEnabled()) {
        return nullptr;
    }
    const foundation::WorkQueueIndex index = foundation::getWorkQueueIndexByName(kQueueName);
    std::shared_ptr<foundation::WorkQueue> queue =
        foundation::isValidWorkQueueIndex(index) ? foundation::getWorkQueue(index) : nullptr;
    // Items pushed to a queue nobody serves would only pile up.
    return queue && queue->isServed() ? queue : nullptr;
}

// Kept alive by the queued reads too: one still queued when validation ends finds its slot dropped.
struct StagedFileCrcs::Shared : std::enable_shared_from_this<Shared> {
    struct Slot {
        std::atomic<int> state{kWaiting};
        FileCrc result;
        bool readByWorker = false;
    };

    std::vector<std::optional<fs::Path>> paths;
    std::unique_ptr<Slot[]> slots;
    // Left uninitialised: zero-filling chunks cost more than the reads on large trees. File i reads
    // into chunk i modulo their count, and file i + count is queued only once file i is read, so
    // each chunk has one reader and the workers go on without waiting for the caller.
    std::vector<std::unique_ptr<uint8_t[]>> chunks;
    std::unique_ptr<uint8_t[]> callerChunk;
    std::shared_ptr<foundation::WorkQueue> queue;
    std::mutex mutex;
    std::condition_variable done;

    bool claim(size_t index) {
        int expected = kWaiting;
        return slots[index].state.compare_exchange_strong(expected, kReading);
    }
    void read(size_t index, bool byWorker) {
        const size_t next = index + chunks.size();
        slots[index].result = guardedFileCrc32(paths[index], chunks[index % chunks.size()].get());
        slots[index].readByWorker = byWorker;
        {
            std::lock_guard lock(mutex);
            slots[index].state = kDone;
        }
        done.notify_all();
        if (queue && next < paths.size()) {
            queueRead(next);
        }
    }
    void queueRead(size_t index) {
        queue->push(KVX_WORK_ITEM([shared = shared_from_this(), index] {
            if (shared->claim(index)) {
                shared->read(index, true);
            }
        }));
    }
    void waitWhileReading(size_t index) {
        std::unique_lock lock(mutex);
        done.wait(lock, [&] { return slots[index].state != kReading; });
    }
};

StagedFileCrcs::StagedFileCrcs(std::vector<std::optional<fs::Path>> paths)
    : mShared(std::make_shared<Shared>()) {
    Shared& shared = *mShared;
    shared.slots = std::make_unique<Shared::Slot[]>(paths.size());
    shared.paths = std::move(paths);
    shared.queue = shared.paths.size() > 1 ? ioWorkQueue() : nullptr;
    const size_t chunkCount = shared.queue ? std::min(kReadAhead, shared.paths.size()) : 1;
    for (size_t i = 0; i < chunkCount; ++i) {
        shared.chunks.push_back(std::make_unique_for_overwrite<uint8_t[]>(kChunkSize));
    }
    for (size_t i = 0; shared.queue && i < chunkCount; ++i) {
        shared.queueRead(i);
    }
}

StagedFileCrcs::~StagedFileCrcs() {
    for (size_t i = 0; i < size(); ++i) {
        int expected = kWaiting;
        if (!mShared->slots[i].state.compare_exchange_strong(expected, kDropped)) {
            mShared->waitWhileReading(i);
        }
    }
    // No read can start any more; reads still queued (with no worker to take them) keep the rest.
    mShared->chunks.clear();
    mShared->callerChunk.reset();
}

size_t StagedFileCrcs::size() const {
    return mShared->paths.size();
}

FileCrc StagedFileCrcs::take(size_t index) {
    Shared& shared = *mShared;
    if (shared.claim(index)) {
        shared.read(index, false);
    } else {
        shared.waitWhileReading(index);
    }
    const Shared::Slot& slot = shared.slots[index];
    if (slot.result.check != FileCheck::Unreadable || !slot.readByWorker) {
        return slot.result;
    }
    // A worker may have met a lock that is gone by now; the caller's own read is the answer. Its
    // chunk may already serve the file after this one.
    if (!shared.callerChunk) {
        shared.callerChunk = std::make_unique_for_overwrite<uint8_t[]>(kChunkSize);
    }
    return guardedFileCrc32(shared.paths[index], shared.callerChunk.get());
}

}  // namespace kvx::apps::internal
