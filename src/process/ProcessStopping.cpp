#include <windows.h>

#include <chrono>
#include <utility>

#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "foundation/TextConversion.h"
#include "foundation/fs/PathRulesWin.h"
#include "process/ProcessUtils.h"
#include "process/SuiteProcesses.h"

namespace kvx::apps::suite {
namespace {

using WinUtils::AutoHandle;

constexpr UINT kKilledExitCode = 9;

void pause(uint64_t delayMs) {
    foundation::clock().sleepFor(std::chrono::milliseconds(delayMs));
}

}  // namespace

std::unordered_set<std::string> stopExecutables(const std::unordered_set<std::string>& names) {
    std::vector<std::pair<std::wstring, const std::string*>> wideNames;
    for (const auto& name : names) {
        wideNames.emplace_back(foundation::widen(name, KVX_SOURCE_LOCATION), &name);
    }
    std::unordered_set<std::string> failed;
    std::vector<AutoHandle> terminated;
    auto walked = services::process::walkProcesses([&](const services::process::ProcessEntry& entry) {
        for (const auto& [wide, name] : wideNames) {
            if (!fs::equalsFoldingCrtCase(entry.exeName, wide.c_str())) {
                continue;
            }
            auto process =
                services::process::openIfStillNamed(entry.pid, wide.c_str(), PROCESS_TERMINATE | SYNCHRONIZE);
            if (process.isError()) {
                failed.insert(*name);
            } else if (process.peek() && TerminateProcess(process.peek().get(), kKilledExitCode)) {
                // Only a termination that was accepted is waited for.
                terminated.push_back(process.unwrap());
            } else if (process.peek()) {
                failed.insert(*name);
            }
        }
        return true;
    });
    if (walked.isError()) {
        // Not knowing what runs is not the same as nothing running: the pass failed.
        KVX_LOG_WARN("Unable to list running processes, osError[{}]", walked.peekError().osError);
        return names;
    }
    waitForObjects(terminated, kWaitForever);
    return failed;
}

bool tryStopExecutables(std::unordered_set<std::string>& names, uint64_t delayMs, uint8_t attempts) {
    if (names.empty()) {
        return true;
    }
    for (uint8_t attempt = 0;;) {
        names = stopExecutables(names);
        if (names.empty()) {
            return true;
        }
        KVX_LOG_DEBUG("Attempt #{} didn't successfully shut down all exes", attempt);
        if (++attempt >= attempts) {
            break;
        }
        pause(delayMs);
    }
    KVX_LOG_WARN("Failed to successfully shut down all exes");
    return false;
}

bool stopProcesses(std::vector<AutoHandle>& handles) {
    std::vector<AutoHandle> terminated;
    std::vector<AutoHandle> remaining;
    for (auto& handle : handles) {
        const bool ended = TerminateProcess(handle.get(), kKilledExitCode) ||
                           WaitForSingleObject(handle.get(), 0) == WAIT_OBJECT_0;
        (ended ? terminated : remaining).push_back(std::move(handle));
    }
    waitForObjects(terminated, kWaitForever);
    handles = std::move(remaining);
    return handles.empty();
}

bool tryStopProcesses(std::vector<AutoHandle>& handles, uint64_t delayMs, uint8_t attempts) {
    if (handles.empty() || stopProcesses(handles)) {
        return true;
    }
    for (uint8_t attempt = 0;;) {
        KVX_LOG_DEBUG("Attempt #{} didn't successfully shut down all exes", attempt);
        if (++attempt >= attempts) {
            break;
        }
        pause(delayMs);
        if (stopProcesses(handles)) {
            return true;
        }
    }
    KVX_LOG_WARN("Failed to successfully shut down all exes");
    return false;
}

}  // namespace kvx::apps::suite
