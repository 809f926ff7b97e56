#include "Sandbox.h"

#include <algorithm>

#include "InstallerRegistry.h"
#include "MachineFiles.h"
#include "SandboxFiles.h"
#include "SandboxProcesses.h"
#include "SandboxRegistry.h"
#include "SandboxService.h"
#include "SandboxShortcuts.h"
#include "SandboxWaits.h"
#include "UpdateEventHolder.h"
#include "destager/ClientFileVersion.h"
#include "kvx/BuildVersion.h"

namespace kvx::sandbox {

namespace {

constexpr DWORD kRemoveFolderWaitMs = 10000;

bool isOutdatedName(const std::wstring& name) {
    const std::wstring prefix = kOutdatedPrefix;
    return name.size() > prefix.size() && name.rfind(prefix, 0) == 0 &&
           std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

Result<void, std::string> startPrograms(const SandboxLayout& layout, const SetupOptions& options) {
    for (const std::wstring& program : options.programs) {
        if (auto started = startProgram(layout.clientPath / program); started.isError()) {
            return Err{started.unwrapError()};
        }
    }
    return Ok{};
}

// Programs that were just ended may hold the folder for a moment.
bool removeFolder(const std::filesystem::path& folder) {
    return waitUntil(kRemoveFolderWaitMs, [&] {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
        return !std::filesystem::exists(folder, error);
    });
}

}  // namespace

FileVersion buildFileVersion() {
    return {static_cast<uint16_t>(kBuildVersionMajor), static_cast<uint16_t>(kBuildVersionMinor),
            static_cast<uint16_t>(kBuildVersionPatch), static_cast<uint16_t>(kBuildVersionBuild)};
}

Result<void, std::string> writeSandboxFiles(const SandboxLayout& layout, const SetupOptions& options) {
    std::error_code error;
    if (std::filesystem::exists(layout.installRoot, error) && !std::filesystem::is_empty(layout.installRoot, error)) {
        return Err{"[" + utf8(layout.installRoot.wstring()) + "] already has content; tear it down first"};
    }
    if (auto written = writeClientFolder(layout.clientPath, options.sources, options.oldVersion); written.isError()) {
        return written;
    }
    return writeStagedUpdate(layout, options);
}

Result<void, std::string> writeStagedUpdate(const SandboxLayout& layout, const SetupOptions& options) {
    if (auto written = writeClientFolder(layout.stagedClientPath, options.sources, options.newVersion);
        written.isError()) {
        return written;
    }
    if (options.withDestager) {
        if (auto copied = copyDestager(layout.stagedClientPath, options.sources); copied.isError()) {
            return copied;
        }
    }
    if (auto recorded = recordRelaunchesFrom(layout.stagedClientPath, layout.installRoot / kStartsFileName);
        recorded.isError()) {
        return recorded;
    }
    return writeStagedArchive(layout);
}

Result<void, std::string> setupSandbox(const SandboxLayout& layout, const SetupOptions& options) {
    if (auto written = writeSandboxFiles(layout, options); written.isError()) {
        return written;
    }
    if (!writeInstallerRegistry(layout.installRoot,
                                {options.oldVersion, !options.noUninstallEntry, options.staleBundleKey})) {
        return Err{std::string("cannot write the installer's registry keys (administrator rights needed)")};
    }
    if (!prepareMachineIniAsClient()) {
        return Err{"cannot write [" + utf8(machineIniPath().wstring()) + "]"};
    }
    clearLoopCheck();
    if (auto shell = ensureDesktopShell(); shell.isError()) {
        return shell;
    }
    if (options.registerService) {
        const bool start = options.startService && !options.noClientFolder;
        if (auto installed = installService(layout.clientPath / L"KorvBackgroundService.exe", start);
            installed.isError()) {
            return Err{"background service: " + installed.unwrapError()};
        }
    }
    if (options.noClientFolder) {
        if (!removeFolder(layout.clientPath)) {
            return Err{"[" + utf8(layout.clientPath.wstring()) + "] could not be removed"};
        }
    } else if (auto started = startPrograms(layout, options); started.isError()) {
        return started;
    }
    if (options.destagerRunning) {
        return startUpdateEventHolder(options.sources.sandboxExe);
    }
    return Ok{};
}

Result<void, std::string> teardownSandbox(const SandboxLayout& layout) {
    std::string failures;
    releaseUpdateEventHolder();
    if (auto removed = removeService(); removed.isError()) {
        failures += "service: " + removed.unwrapError() + "; ";
    }
    endProgramsBelow(layout.installRoot);
    if (!removeFolder(layout.installRoot)) {
        failures += "[" + utf8(layout.installRoot.wstring()) + "] could not be removed; ";
    }
    removeInstallerRegistry();
    removeSuiteShortcuts();
    if (!failures.empty()) {
        return Err{failures.substr(0, failures.size() - 2)};
    }
    return Ok{};
}

std::string clientVersionIn(const std::filesystem::path& folder) {
    const std::filesystem::path exe = folder / L"KorvDesktop.exe";
    std::error_code error;
    if (!std::filesystem::is_regular_file(exe, error)) {
        return {};
    }
    const std::string version = apps::internal::fileVersionText(fs::Path(exe));
    return version == "0.0.0.0" ? std::string() : version;
}

std::vector<std::filesystem::path> outdatedFolders(const SandboxLayout& layout) {
    std::vector<std::filesystem::path> folders;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(layout.installRoot, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        if (it->is_directory() && isOutdatedName(it->path().filename().wstring())) {
            folders.push_back(it->path());
        }
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

}  // namespace kvx::sandbox
