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

std::vector<LogLine> PendingLines::takeAll() {
    std::vector<LogLine> taken;
    auto lines = mLines.checkedValue();
    taken.swap(*lines);
    return taken;
}

bool PendingLines::empty() { return mLines.checkedValue()->empty(); }

}  // namespace kvx::services::logging
