#include "framework/app/WorkQueueSetup.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

#include <fmt/format.h>

#include "foundation/Assert.h"

namespace kvx::apps {
namespace {

constexpr std::array<std::pair<std::string_view, uint64_t>, 6> kDefaultThreadCounts{{
    {"kernel0", 0},
    {"kernel1", 0},
    {"main", 0},
    {"global-compute", 6},
    {"global-io", 6},
    {"connectServer", 0},
}};

}  // namespace

uint64_t getDefaultWorkQueueThreadCount(std::string_view queueName) {
    for (const auto& [name, count] : kDefaultThreadCounts) {
        if (name == queueName) {
            return count;
        }
    }
    KVX_ASSERT_ALWAYS(foundation::AssertLevel::Warning, "Unknown queue name {}", queueName);
    return 0;
}

uint64_t workQueueThreadCount(const config::ConfigSystem& config, std::string_view queueName) {
    return config.getUInt64(fmt::format("app.workQueue.{}.threadCount", queueName),
                            getDefaultWorkQueueThreadCount(queueName));
}

void prepareWorkQueues(const config::ConfigSystem& config, const std::vector<foundation::WorkQueueDescription>& wqParams,
                       WorkerThreadManager& manager) {
    uint64_t total = 0;
    for (const auto& description : wqParams) {
        total += workQueueThreadCount(config, description.name);
    }
    using foundation::initWorkQueueSystem;
    KVX_ASSERT(foundation::AssertLevel::Error, initWorkQueueSystem(wqParams),
               "could not initialize the work queue system");
    manager.init(total);
    for (const auto& description : wqParams) {
        // Read again rather than remembered: the count is a plain configuration read.
        const uint64_t count = workQueueThreadCount(config, description.name);
        const foundation::WorkQueueIndex index = foundation::getWorkQueueIndexByName(description.name);
        if (count == 0 || !foundation::isValidWorkQueueIndex(index)) {
            continue;
        }
        const auto clamped = static_cast<uint32_t>(std::min<uint64_t>(count, std::numeric_limits<uint32_t>::max()));
        manager.startWorkers(foundation::getWorkQueue(index), clamped);
    }
}

}  // namespace kvx::apps
