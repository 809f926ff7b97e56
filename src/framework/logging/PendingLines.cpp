#include "framework/logging/PendingLines.h"

namespace kvx::services::logging {

size_t PendingLines::tryAppend(LogLine line) {
    auto lines = mLines.checkedValue();
    if (lines->size() > kAcceptWhileAtMost) {
        return 0;
    }
    lines->push_back(std::move(line));
    return lines->size();
}

void PendingLines::takeAll(std::vector<LogLine>& taken) {
    taken.clear();  // outside the lock: freeing the old lines' text is the writer's work, not the callers'
                    // wait
    auto lines = mLines.checkedValue();
    taken.swap(*lines);
}

bool PendingLines::empty() {
    return mLines.checkedValue()->empty();
}

}  // namespace kvx::services::logging
