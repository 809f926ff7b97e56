#pragma once
// The Windows implementation of the process utility service.

#include <memory>

#include "process/ProcessUtils.h"
#include "process/RestartManager.h"

namespace kvx::services::process {

class ProcessUtilsImpl : public ProcessUtils {
public:
    // Null: the system's Restart Manager.
    explicit ProcessUtilsImpl(std::shared_ptr<IRestartManager> restartManager = nullptr);

    uint32_t getCurrentProcessId() override;
    HANDLE getCurrentProcessHandle() override;
    bool isAdmin() override;
    uint32_t getForegroundProcessId() override;
    void getProcessLockingFiles(const std::vector<std::string>& files, bool checkModules,
                                std::optional<LockReport>& report) override;
    bool waitForProcessExit(const std::wstring& exePath, int64_t timeoutMs, int64_t pollMs) override;
    bool waitForProcessRunning(const std::wstring& exePath, int64_t timeoutMs, int64_t pollMs) override;
    bool terminateProcess(uint32_t pid, uint32_t exitCode) override;
    std::optional<std::string> getProcessName(uint32_t pid) override;
    std::optional<std::string> getExeUserId(const std::string& exeName) override;
    std::optional<std::string> getExeUserName(const std::string& exeName) override;
    std::optional<std::string> getProcessUserName(uint32_t pid) override;
    std::string getCurrentWorkingDir() override;
    Result<uint32_t, std::string> getParentProcessId(uint32_t pid) override;
    Result<WinUtils::AutoHandle, uint32_t> openProcess(uint32_t pid, uint32_t access) override;
    Result<std::wstring, uint32_t> getProcessImagePath(HANDLE process) override;
    void forEachProcessId(const std::function<void(uint32_t pid)>& callback) override;
    bool isValidCommandLine(std::string_view commandLine) override;

private:
    std::shared_ptr<IRestartManager> mRestartManager;
};

}  // namespace kvx::services::process
