#pragma once
// The lines callers have queued and the writer has not taken yet. Bounded, so a stalled disk
// costs lines instead of memory; a caller only ever holds the lock for one append.

#include <cstddef>
#include <mutex>
#include <vector>

#include "foundation/LockedValue.h"
#include "framework/logging/LogLine.h"

namespace kvx::services::logging {

class PendingLines {
public:
    // A line is still accepted while at most this many are pending, so 1,025 can wait.
    static constexpr size_t kAcceptWhileAtMost = 1024;

    // How many lines are pending with this one; 0 when it was dropped because the queue is full.
    size_t tryAppend(LogLine line);
    // Swaps everything pending, oldest first, into `taken`, whose old lines are cleared first; its
    // storage becomes the queue's, so callers append without growing a fresh vector every pass.
    void takeAll(std::vector<LogLine>& taken);
    bool empty();

private:
    LockedValue<std::vector<LogLine>> mLines;
};

}  // namespace kvx::services::logging
