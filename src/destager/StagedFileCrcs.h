#pragma once
// The CRC-32 values of the staged files, read ahead on the "global-io" queue's workers, which go
// on through the list while the caller takes the results in archive order. Without that queue (or
// with no worker serving it) the caller reads each file itself when it takes it, as a plain loop
// would.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/fs/Path.h"

namespace kvx::foundation {
class WorkQueue;
}

namespace kvx::apps::internal {

// The "global-io" queue when work can be submitted to it, else null.
std::shared_ptr<foundation::WorkQueue> ioWorkQueue();

// What one open and read of a file found. A file the open does not find is missing; one it finds
// but cannot open or read is unreadable.
enum class FileCheck { Missing, Unreadable, Read };

struct FileCrc {
    FileCheck check = FileCheck::Unreadable;
    uint32_t crc32 = 0;
};

// A path left empty names no file that can be looked for: it is missing and never opened. Held as
// plain text: a path object keeps each of its components as a path of its own, some 2 KiB a file,
// which for a large client outweighed everything else the validation holds. The size is the
// archive's, a hint for sharing out the work.
struct StagedFile {
    std::wstring path;
    uint64_t size = 0;
};

class StagedFileCrcs {
public:
    explicit StagedFileCrcs(const std::vector<StagedFile>& files);
    // Files not yet taken are not read any more; reads under way are waited for.
    ~StagedFileCrcs();
    StagedFileCrcs(const StagedFileCrcs&) = delete;
    StagedFileCrcs& operator=(const StagedFileCrcs&) = delete;

    size_t size() const;
    // Reads, on this thread too, every file no worker has taken, and waits for those under way. A
    // file unreadable now is read again when taken.
    void readAll();
    // The result of file `index`; indexes are taken in increasing order. A file a worker could not
    // read is read again by the caller.
    FileCrc take(size_t index);

    struct Shared;

private:
    std::shared_ptr<Shared> mShared;
};

}  // namespace kvx::apps::internal
