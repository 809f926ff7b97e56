#include "process/LockedModules.h"

#include <windows.h>
#include <psapi.h>
#include <shlwapi.h>

#include <chrono>

#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "foundation/SafeFormat.h"
#include "foundation/TextConversion.h"
#include "foundation/fs/FileListing.h"
#include "foundation/fs/PathRulesWin.h"
#include "foundation/win/AutoHandle.h"

namespace kvx::services::process {
namespace {

using WinUtils::AutoHandle;

constexpr uint32_t kRestartManagerRoom = 3;
constexpr int64_t kDefaultPollMs = 10;
constexpr DWORD kModuleQueryAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;  // 0x410

// An application name that is empty or a lone private-use placeholder says nothing.
bool isMeaningfulAppName(const std::wstring& name) {
    return !name.empty() && !(name.size() == 1 && name[0] >= 0x7FF0 && name[0] <= 0x7FFF);
}

std::string holderName(const RmProcessEntry& entry, ProcessUtils& names) {
    if (isMeaningfulAppName(entry.appName)) {
        return foundation::narrow(entry.appName, KVX_SOURCE_LOCATION);
    }
    if (auto name = names.getProcessName(entry.pid)) {
        return *name;
    }
    std::string hex;
    for (wchar_t c : entry.appName) {
        hex = foundation::safeFormat("{}{:x}", hex, static_cast<uint32_t>(c));
    }
    return foundation::safeFormat("Unnamed Process {}-{}", hex, entry.appType);
}

// Whether a process whose image is `exePath` runs now; a walk that cannot start finds none.
bool isProcessRunning(const std::wstring& exePath) {
    const wchar_t* fileName = PathFindFileNameW(exePath.c_str());
    bool running = false;
    (void)walkProcesses([&](const ProcessEntry& entry) {
        if (!fs::equalsFoldingCrtCase(entry.exeName, fileName)) {
            return true;
        }
        AutoHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.pid));
        wchar_t image[MAX_PATH * 4];
        DWORD length = static_cast<DWORD>(std::size(image));
        running = process && QueryFullProcessImageNameW(process.get(), 0, image, &length) &&
                  fs::equalsFoldingOrdinalCase(std::wstring_view(image, length), exePath);
        return !running;
    });
    return running;
}

}  // namespace

const std::vector<std::string>& modulePatterns() {
    static const std::vector<std::string> patterns{"*.dll", "*.exe"};
    return patterns;
}

std::optional<LockReport> findLockedModule(const std::string& folder, const std::vector<std::string>& patterns) {
    const auto listed = fs::filesMatchingPatterns({folder}, patterns, false);
    const std::vector<std::string> files(listed.begin(), listed.end());
    std::optional<LockReport> report;
    if (!files.empty()) {
        processUtils().getProcessLockingFiles(files, true, report);
    }
    return report;
}

void getProcessLockingFiles(IRestartManager& restartManager, ProcessUtils& names, const std::vector<std::string>& files,
                            bool checkModules, std::optional<LockReport>& report) {
    DWORD session = 0;
    if (restartManager.startSession(session) != ERROR_SUCCESS) {
        return;
    }
    std::vector<std::wstring> wideFiles;
    for (const auto& file : files) {
        wideFiles.push_back(foundation::widen(file, KVX_SOURCE_LOCATION));
    }
    if (restartManager.registerFiles(session, wideFiles) != ERROR_SUCCESS) {
        restartManager.endSession(session);
        return;
    }
    std::vector<RmProcessEntry> entries;
    const DWORD status = restartManager.getList(session, kRestartManagerRoom, entries);
    restartManager.endSession(session);
    const bool listed = (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) && !entries.empty();
    if (!listed && !checkModules) {
        return;
    }
    if (!listed) {
        entries.clear();
    }
    if (entries.size() > kRestartManagerRoom) {
        entries.resize(kRestartManagerRoom);
    }

    const uint32_t self = names.getCurrentProcessId();
    uint32_t holder = self;
    std::string holderProcessName;
    for (const auto& entry : entries) {
        holder = entry.pid;
        holderProcessName = holderName(entry, names);
        if (entry.pid != self) {
            break;
        }
    }

    std::set<std::string> lockedFiles;
    if (checkModules) {
        lockedFiles = checkProcessForLoadedModules(holder, files);
        lockedFiles.merge(getUnopenableFiles(files));
    }
    if (holderProcessName.empty() && lockedFiles.empty()) {
        return;
    }
    report = LockReport{holderProcessName, holder == self, std::move(lockedFiles)};
}

// The report names files by their name alone: they all lie in the one folder it is about.
std::string fileNameOf(const std::wstring& path) {
    return foundation::narrow(PathFindFileNameW(path.c_str()), KVX_SOURCE_LOCATION);
}

std::set<std::string> checkProcessForLoadedModules(uint32_t pid, const std::vector<std::string>& files) {
    std::set<std::string> found;
    AutoHandle process(OpenProcess(kModuleQueryAccess, FALSE, pid));
    if (!process) {
        return found;
    }
    std::vector<HMODULE> modules(1024);
    DWORD needed = 0;
    if (!K32EnumProcessModulesEx(process.get(), modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)),
                                 &needed, LIST_MODULES_ALL)) {
        return found;
    }
    modules.resize(std::min<size_t>(modules.size(), needed / sizeof(HMODULE)));
    for (HMODULE module : modules) {
        wchar_t path[MAX_PATH * 4];
        const DWORD length = K32GetModuleFileNameExW(process.get(), module, path, static_cast<DWORD>(std::size(path)));
        if (length == 0) {
            continue;
        }
        const std::wstring modulePath(path, length);
        for (const auto& file : files) {
            const std::wstring wide = foundation::widen(file, KVX_SOURCE_LOCATION);
            if (fs::equalsFoldingOrdinalCase(modulePath, wide)) {
                KVX_LOG_DEBUG("Found locked file {}", file);
                found.insert(fileNameOf(wide));
            }
        }
    }
    return found;
}

std::set<std::string> getUnopenableFiles(const std::vector<std::string>& files) {
    std::set<std::string> held;
    for (const auto& file : files) {
        const std::wstring wide = foundation::widen(file, KVX_SOURCE_LOCATION);
        AutoHandle handle(CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle) {
            held.insert(fileNameOf(wide));
        }
    }
    return held;
}

bool waitForProcess(const std::wstring& exePath, WaitCondition condition, int64_t timeoutMs, int64_t pollMs) {
    if (condition != WaitCondition::Running && condition != WaitCondition::NotRunning) {
        KVX_ASSERT_ALWAYS(foundation::AssertLevel::Error, "Unknown condition");
        return false;
    }
    if (pollMs <= 0 || pollMs > timeoutMs) {
        pollMs = kDefaultPollMs;
    }
    auto& clock = foundation::clock();
    const auto deadline = clock.monotonicNow() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (isProcessRunning(exePath) == (condition == WaitCondition::Running)) {
            return true;
        }
        if (clock.monotonicNow() >= deadline) {
            return false;
        }
        clock.sleepFor(std::chrono::milliseconds(pollMs));
    }
}

}  // namespace kvx::services::process
