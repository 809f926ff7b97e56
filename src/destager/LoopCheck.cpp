#include "destager/LoopCheck.h"

#include <chrono>

#include <fmt/format.h>

#include "foundation/Logging.h"

namespace kvx::apps::destager {

using namespace services::logging;

bool shouldResetCounter(const LoopCheckState& previous, const LoopCheckState& current) {
    if (previous.targetVersion != current.targetVersion) {
        KVX_LOG_AS("shouldResetCounter", Info,
                   "Updating to a new target version, resetting counter. Prev. target[{}]", previous.targetVersion);
        return true;
    }
    if (previous.date != current.date) {
        KVX_LOG_AS("shouldResetCounter", Info, "New day since we last tried an update, resetting counter. Prev. date[{}]",
                   previous.date);
        return true;
    }
    return false;
}

LoopDecision decideUpdateLoop(const LoopCheckState& previous, int32_t result, std::string targetVersion,
                              std::string date) {
    constexpr const char* kFunction = "kvx::apps::destager::isUpdateLoopDetected";
    LoopCheckState current{std::move(targetVersion), std::move(date), previous.updateNumber + 1, 1, result == 0};
    if (current.lastSuccessful == previous.lastSuccessful) {
        current.sameResults = previous.sameResults + 1;
    }
    if (shouldResetCounter(previous, current)) {
        current.updateNumber = 1;
        current.sameResults = 1;
        return {std::move(current), false};
    }
    if (current.sameResults >= kSameResultsLoopThreshold) {
        KVX_LOG_AS(kFunction, Warn, "Update loop detected, {} consecutive {} in a row. Total attempts[{}]",
                   current.sameResults, current.lastSuccessful ? "successes" : "failures", current.updateNumber);
        return {std::move(current), true};
    }
    if (current.updateNumber >= kUpdateNumberLoopThreshold) {
        KVX_LOG_AS(kFunction, Warn, "Update loop detected, flipping between success and failure. Total attempts[{}]",
                   current.updateNumber);
        return {std::move(current), true};
    }
    return {std::move(current), false};
}

std::string utcDateText(int64_t nanosecondsSinceEpoch) {
    using namespace std::chrono;
    const auto days = floor<std::chrono::days>(sys_time<nanoseconds>(nanoseconds(nanosecondsSinceEpoch)));
    const year_month_day ymd(days);
    return fmt::format("{:04}-{:02}-{:02}", static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                       static_cast<unsigned>(ymd.day()));
}

}  // namespace kvx::apps::destager
