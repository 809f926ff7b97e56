#include "destager/StagedFileCrcs.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "foundation/archive/Crc32.h"
#include "foundation/fs/IFilesystem.h"
#include "framework/workqueue/WorkQueueSystem.h"

namespace kvx::apps::internal {

namespace {

// Small: the six chunks in flight must fit, with everything else, in a 32 MiB peak working set for a
// 400 MiB archive; under Wine reads of this size went no slower than 1 MiB ones.
constexpr size_t kChunkSize = 128 << 10;
// Batches in flight at most: one per worker the queue has by default, each with a chunk of its own,
// and far below the queue length that is reported as a backup.
constexpr size_t kReadAhead = 6;
// A batch of files goes to one worker in one hand-over: each hand-over wakes a thread, which under
// Wine is a round trip to its server, as costly as opening a file.
constexpr uint64_t kBatchBytes = 1 << 20;
constexpr size_t kBatchFiles = 32;
constexpr const char* kQueueName = "global-io";
constexpr uint32_t kShareAll = fs::ShareRead | fs::ShareWrite | fs::ShareDelete;

// A batch is read by whichever thread claims it first: a worker, or the caller once it needs it.
enum SlotState : int { kWaiting, kReading, kDone, kDropped };

// The open itself answers whether the file is there: an existence check before it cost a path
// walk per file under Wine.
FileCrc fileCrc32(const std::wstring& path, uint8_t* chunk) {
    if (path.empty()) {
        return {FileCheck::Missing};
    }
    auto opened =
        fs::filesystem().open(fs::Path(path), fs::FileAccess::Read, fs::CreateDisposition::OpenExisting, kShareAll);
    if (opened.isError()) {
        return {fs::isNotFoundError(opened.peekError()) ? FileCheck::Missing : FileCheck::Unreadable};
    }
    std::unique_ptr<fs::IFileStream> stream = opened.unwrap();
    uint32_t crc = 0;
    for (;;) {
        auto got = stream->read(chunk, kChunkSize);
        if (got.isError()) {
            return {FileCheck::Unreadable};
        }
        crc = archive::crc32(crc, chunk, got.peek());
        // A read stops short only at the end: no call more to be told so.
        if (got.peek() < kChunkSize) {
            return {FileCheck::Read, crc};
        }
    }
}

// Only a programming error found by a check throws; the file then counts as unreadable, so the
// validation still ends and the caller never waits for a slot that stays "reading".
FileCrc guardedFileCrc32(const std::wstring& path, uint8_t* chunk) {
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

// Kept alive by the queued reads too: a batch still queued when validation ends finds itself dropped.
struct StagedFileCrcs::Shared : std::enable_shared_from_this<Shared> {
    struct Batch {
        std::atomic<int> state{kWaiting};
        size_t first = 0;
        size_t end = 0;
        bool readByWorker = false;
    };

    std::vector<std::wstring> paths;
    std::vector<FileCrc> results;
    std::vector<size_t> batchOfFile;
    std::unique_ptr<Batch[]> batches;
    size_t batchCount = 0;
    // Left uninitialised: zero-filling chunks cost more than the reads on large trees. Batch i reads
    // into chunk i modulo their count, and batch i + count is queued only once batch i is read, so
    // each chunk has one reader and the workers go on without waiting for the caller.
    std::vector<std::unique_ptr<uint8_t[]>> chunks;
    std::unique_ptr<uint8_t[]> callerChunk;
    std::shared_ptr<foundation::WorkQueue> queue;
    std::mutex mutex;
    std::condition_variable done;

    // Consecutive files up to a size, so that a small file costs no hand-over of its own.
    void formBatches(const std::vector<StagedFile>& files) {
        std::vector<size_t> firsts;
        uint64_t bytes = kBatchBytes;
        for (size_t i = 0; i < files.size(); ++i) {
            if (bytes >= kBatchBytes || i - firsts.back() >= kBatchFiles) {
                firsts.push_back(i);
                bytes = 0;
            }
            bytes += files[i].size;
            batchOfFile.push_back(firsts.size() - 1);
        }
        batchCount = firsts.size();
        batches = std::make_unique<Batch[]>(batchCount);
        for (size_t b = 0; b < batchCount; ++b) {
            batches[b].first = firsts[b];
            batches[b].end = b + 1 < batchCount ? firsts[b + 1] : files.size();
        }
    }
    bool claim(size_t batch) {
        int expected = kWaiting;
        return batches[batch].state.compare_exchange_strong(expected, kReading);
    }
    void read(size_t batch, bool byWorker) {
        const size_t next = batch + chunks.size();
        for (size_t i = batches[batch].first; i < batches[batch].end; ++i) {
            results[i] = guardedFileCrc32(paths[i], chunks[batch % chunks.size()].get());
        }
        batches[batch].readByWorker = byWorker;
        {
            std::lock_guard lock(mutex);
            batches[batch].state = kDone;
        }
        done.notify_all();
        if (queue && next < batchCount) {
            queueRead(next);
        }
    }
    void queueRead(size_t batch) {
        queue->push(KVX_WORK_ITEM([shared = shared_from_this(), batch] {
            if (shared->claim(batch)) {
                shared->read(batch, true);
            }
        }));
    }
    void waitWhileReading(size_t batch) {
        std::unique_lock lock(mutex);
        done.wait(lock, [&] { return batches[batch].state != kReading; });
    }
    void readOrWait(size_t batch, bool early) {
        if (claim(batch)) {
            read(batch, early);
        } else {
            waitWhileReading(batch);
        }
    }
};

StagedFileCrcs::StagedFileCrcs(const std::vector<StagedFile>& files) : mShared(std::make_shared<Shared>()) {
    Shared& shared = *mShared;
    for (const StagedFile& file : files) {
        shared.paths.push_back(file.path);
    }
    shared.results.resize(files.size());
    shared.formBatches(files);
    shared.queue = shared.batchCount > 1 ? ioWorkQueue() : nullptr;
    const size_t chunkCount = shared.queue ? std::min(kReadAhead, shared.batchCount) : 1;
    for (size_t i = 0; i < chunkCount; ++i) {
        shared.chunks.push_back(std::make_unique_for_overwrite<uint8_t[]>(kChunkSize));
    }
    for (size_t i = 0; shared.queue && i < chunkCount; ++i) {
        shared.queueRead(i);
    }
}

StagedFileCrcs::~StagedFileCrcs() {
    for (size_t b = 0; b < mShared->batchCount; ++b) {
        int expected = kWaiting;
        if (!mShared->batches[b].state.compare_exchange_strong(expected, kDropped)) {
            mShared->waitWhileReading(b);
        }
    }
    // No read can start any more; reads still queued (with no worker to take them) keep the rest.
    mShared->chunks.clear();
    mShared->callerChunk.reset();
}

size_t StagedFileCrcs::size() const {
    return mShared->paths.size();
}

void StagedFileCrcs::readAll() {
    // In order, as take() goes: a batch's chunk is free once the batch before it in that chunk is read.
    // Read ahead of the report, as a worker's read: what could not be read is read again when taken.
    for (size_t b = 0; b < mShared->batchCount; ++b) {
        mShared->readOrWait(b, true);
    }
}

FileCrc StagedFileCrcs::take(size_t index) {
    Shared& shared = *mShared;
    const size_t batch = shared.batchOfFile[index];
    shared.readOrWait(batch, false);
    const FileCrc& result = shared.results[index];
    if (result.check != FileCheck::Unreadable || !shared.batches[batch].readByWorker) {
        return result;
    }
    // A worker may have met a lock that is gone by now; the caller's own read is the answer. Its
    // chunk may already serve the batch after this one.
    if (!shared.callerChunk) {
        shared.callerChunk = std::make_unique_for_overwrite<uint8_t[]>(kChunkSize);
    }
    return guardedFileCrc32(shared.paths[index], shared.callerChunk.get());
}

}  // namespace kvx::apps::internal
