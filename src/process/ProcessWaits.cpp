#include <windows.h>

#include <algorithm>
#include <chrono>
#include <unordered_map>

#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "foundation/TextConversion.h"
#include "foundation/fs/PathRulesWin.h"
#include "process/ProcessUtils.h"
#include "process/SuiteProcesses.h"

namespace kvx::apps::suite {
namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;
using WinUtils::AutoHandle;

}  // namespace

void waitForObjects(std::vector<AutoHandle>& handles, int64_t timeoutMs) {
    auto& clock = foundation::clock();
    const bool limited = timeoutMs != kWaitForever;
    const auto deadline = clock.monotonicNow() + milliseconds(limited ? timeoutMs : 0);
    while (!handles.empty()) {
        DWORD waitMs = INFINITE;
        if (limited) {
            const auto now = clock.monotonicNow();
            if (now >= deadline) {
                return;
            }
            waitMs = static_cast<DWORD>(
                std::min<int64_t>(duration_cast<milliseconds>(deadline - now).count(), INFINITE - 1));
        }
        const DWORD count = static_cast<DWORD>(std::min<size_t>(handles.size(), MAXIMUM_WAIT_OBJECTS));
        std::vector<HANDLE> group;
        for (DWORD i = 0; i < count; ++i) {
            group.push_back(handles[i].get());
        }
        const DWORD result = WaitForMultipleObjects(count, group.data(), FALSE, waitMs);
        if (result < WAIT_OBJECT_0 + count) {
            std::swap(handles[result - WAIT_OBJECT_0], handles.back());
            handles.pop_back();
        } else if (result == WAIT_TIMEOUT) {
            return;
        } else {
            KVX_LOG_ERROR("Wait failed; error=[{}]", GetLastError());
            return;
        }
    }
}

bool waitForProcessesToExit(std::vector<AutoHandle>& handles, int64_t timeoutMs) {
    waitForObjects(handles, timeoutMs);
    if (!handles.empty()) {
        KVX_LOG_WARN("{} processes failed to exit", handles.size());
    }
    return handles.empty();
}

bool waitForProcessesToExit(std::unordered_set<std::string>& names, int64_t timeoutMs) {
    std::unordered_map<std::wstring, std::string> wanted;
    for (const auto& name : names) {
        wanted.emplace(fs::foldCrtCase(foundation::widen(name, KVX_SOURCE_LOCATION)), name);
    }
    std::unordered_set<std::string> failed;
    std::vector<AutoHandle> handles;
    std::unordered_map<HANDLE, std::string> nameOfHandle;
    auto walked = services::process::walkProcesses([&](const services::process::ProcessEntry& entry) {
        const auto found = wanted.find(fs::foldCrtCase(entry.exeName));
        if (found == wanted.end()) {
            return true;
        }
        auto process = services::process::openIfStillNamed(entry.pid, entry.exeName, SYNCHRONIZE);
        if (process.isError()) {
            failed.insert(found->second);
        } else if (process.peek()) {
            nameOfHandle.emplace(process.peek().get(), found->second);
            handles.push_back(process.unwrap());
        }
        return true;
    });
    if (walked.isError()) {
        // Not knowing what runs is not the same as everything having exited.
        KVX_LOG_WARN("Unable to list running processes, osError[{}]", walked.peekError().osError);
        return false;
    }
    waitForObjects(handles, timeoutMs);
    for (const auto& handle : handles) {
        failed.insert(nameOfHandle[handle.get()]);
    }
    if (!failed.empty()) {
        std::string text;
        for (const auto& name : failed) {
            text += " " + name;
        }
        KVX_LOG_WARN("{} executables failed to exit: {}", failed.size(), text);
    }
    names = std::move(failed);
    return names.empty();
}

}  // namespace kvx::apps::suite
