#pragma once
// Compares unpacked files with the CRC-32 values in the downloaded archive's central directory.
// Differences become error telemetry; they never fail the update.

#include <memory>

#include "foundation/fs/Path.h"

namespace kvx::apps {

// `folder` is the client folder (staged, or live after the swap); archive entry names are relative
// to its parent. `destaged` selects the after-swap error kinds and skips the destager's own files.
void tryValidateStagedFiles(const fs::Path& folder, const fs::Path& zipPath, bool destaged);

namespace internal {

// What one validation finds, gathered without a log line or a record: the archive's listing and
// the files' CRC-32 values (read ahead on the "global-io" workers when they serve that queue).
// report() then says it all, exactly as tryValidateStagedFiles would have said it there.
class ValidationFindings {
public:
    ValidationFindings(const fs::Path& folder, const fs::Path& zipPath, bool destaged);
    // Files not yet read are not read any more; reads under way are waited for.
    ~ValidationFindings();
    ValidationFindings(const ValidationFindings&) = delete;
    ValidationFindings& operator=(const ValidationFindings&) = delete;

    // The archive is there but could not be opened or is over the size limit.
    bool archiveUnreadable() const;
    // Reads every file that is still to be read, on this thread too; says nothing.
    void finishReading();
    // Logs and records the findings, once; no staged file is open any more when it returns.
    void report();

    struct State;

private:
    static void gather(State& state);

    std::unique_ptr<State> mState;
};

}  // namespace internal

}  // namespace kvx::apps
