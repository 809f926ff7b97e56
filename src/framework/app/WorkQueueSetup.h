#pragma once
// Creating the program's work queues and starting their workers, with per-queue thread counts
// from the configuration ("app.workQueue.<name>.threadCount").

#include <cstdint>
#include <string_view>
#include <vector>

#include "framework/config/ConfigSystem.h"
#include "framework/workqueue/WorkQueueSystem.h"
#include "framework/workqueue/WorkerThreadManager.h"

namespace kvx::apps {

// 6 for "global-compute" and "global-io", 0 for the other known queues; an unknown name is
// reported and gets 0.
uint64_t getDefaultWorkQueueThreadCount(std::string_view queueName);

// The configured thread count of one queue, the default above when not configured.
uint64_t workQueueThreadCount(const config::ConfigSystem& config, std::string_view queueName);

// Initialises the work-queue system with `wqParams`, sizes the manager for every queue's workers
// and starts them. A failed initialisation is reported; the start goes on.
void prepareWorkQueues(const config::ConfigSystem& config, const std::vector<foundation::WorkQueueDescription>& wqParams,
                       WorkerThreadManager& manager);

}  // namespace kvx::apps
