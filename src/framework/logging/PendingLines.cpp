#include "framework/logging/PendingLines.h"

namespace kvx::services::logging {

bool PendingLines::tryAppend(LogLine line) {
    auto lines = mLines.checkedValue();
    if (lines->size() > kAcceptWhileAtMost) {
        return false;
    }
    lines->push_back(std::move(line));
    return true;
}

std::vector<LogLine> PendingLines::takeAll() {
    std::vector<LogLine> taken;
    auto lines = mLines.checkedValue();
    taken.swap(*lines);
    return taken;
}

bool PendingLines::empty() { return mLines.checkedValue()->empty(); }

}  // namespace kvx::services::logging
