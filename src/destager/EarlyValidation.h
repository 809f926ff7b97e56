#pragma once
// A staged-file validation started ahead of its turn: the archive listing and the file reads run
// on the "global-io" workers from construction, while everything it logs and records is said at
// report(), exactly as a validation run there would say it.

#include <memory>

#include "foundation/fs/Path.h"

namespace kvx::apps::internal {

class EarlyValidation {
public:
    // Without the io queue nothing starts here: report() then validates as a plain call would.
    EarlyValidation(const fs::Path& folder, const fs::Path& zipPath, bool destaged);
    // Unreported, the findings are dropped without a word; work under way is waited for.
    ~EarlyValidation();
    EarlyValidation(const EarlyValidation&) = delete;
    EarlyValidation& operator=(const EarlyValidation&) = delete;

    // Returns once every staged file has been read, reading on this thread too; says nothing.
    void finishReading();
    // Once; no staged file is open any more when it returns.
    void report();

    struct Shared;

private:
    std::shared_ptr<Shared> mShared;
};

}  // namespace kvx::apps::internal
