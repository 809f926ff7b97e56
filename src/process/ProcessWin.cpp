// The Windows implementation of Process, and the factory that makes it.
#include <windows.h>

#include <shellapi.h>

#include <mutex>
#include <vector>

#include "foundation/Assert.h"
#include "foundation/Logging.h"
#include "foundation/TextConversion.h"
#include "foundation/win/AutoHandle.h"
#include "process/Process.h"

namespace kvx::services::process {

namespace {

using WinUtils::AutoHandle;
using Error = Process::Error;
using State = Process::State;

constexpr DWORD kBreakawayOk = JOB_OBJECT_LIMIT_BREAKAWAY_OK;  // 0x800
constexpr DWORD kBreakawayOkKillOnClose =
    JOB_OBJECT_LIMIT_BREAKAWAY_OK | JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;  // 0x2800

std::wstring wide(const std::string& text) {
    return foundation::widen(text, KVX_SOURCE_LOCATION);
}

class ProcessWin final : public Process::Impl {
public:
    ~ProcessWin() override {
        // A started client outlives this object; a child that never ran does not.
        if (mState != State::Running && !mInfo.breakaway && mProcess) {
            (void)terminate();
        }
        cleanup();
    }

    Error createProcess(const ProcessInfo& info) override;
    Error run() override;
    Error terminate() override;
    const ProcessInfo& info() const override { return mInfo; }
    void cleanup() override;
    uint32_t processId() const override { return mProcessId; }
    void* processHandle() const override { return mProcess.get(); }
    void* threadHandle() const override { return mThread.get(); }
    void runWait(const Process::OutputCallback& callback) override;

private:
    Error failStep(const char* step, const std::string& what, DWORD code) {
        mState = State::Error;
        KVX_LOG_ERROR("{}: {} | {} | OS ErrorCode: 0x{:x}", step, what, toString(mInfo), code);
        recordProcessEvent("prcs.create.erro", step, code);
        return Error::ErrorCreatingProcess;
    }
    Error createJob();
    Error executeApplication(const std::wstring& exe, const std::wstring& args, const std::wstring& dir);

    ProcessInfo mInfo;
    AutoHandle mJob;
    AutoHandle mReadPipe;
    AutoHandle mProcess;
    AutoHandle mThread;
    uint32_t mProcessId = 0;
    uint32_t mThreadId = 0;
};

Error ProcessWin::createJob() {
    constexpr const char* kStep = "Create Job Object";
    mJob.reset(CreateJobObjectW(nullptr, nullptr));
    if (!mJob) {
        return failStep(kStep, "failed to create job", GetLastError());
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = mInfo.killOnJobClose ? kBreakawayOkKillOnClose : kBreakawayOk;
    if (!SetInformationJobObject(mJob.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        return failStep(kStep, "failed to set job information", GetLastError());
    }
    return Error::None;
}

Error ProcessWin::executeApplication(const std::wstring& exe, const std::wstring& args,
                                     const std::wstring& dir) {
    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    execute.lpVerb = L"open";
    execute.lpFile = exe.c_str();
    execute.lpParameters = args.c_str();
    execute.lpDirectory = dir.empty() ? nullptr : dir.c_str();
    execute.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&execute) || execute.hProcess == nullptr) {
        // Read before logging, which may make calls of its own that set it.
        const DWORD code = GetLastError();
        mState = State::Error;
        KVX_LOG_ERROR("Failed to execute application process [{}]", toString(mInfo));
        recordProcessEvent("prcs.create.erro", "Create Process", code);
        return Error::ErrorCreatingProcess;
    }
    mProcess.reset(execute.hProcess);
    mProcessId = GetProcessId(execute.hProcess);
    return Error::None;
}

Error ProcessWin::createProcess(const ProcessInfo& info) {
    KVX_ASSERT(foundation::AssertLevel::Error, mState == Process::State::Stopped,
               "The process is not on Stopped State, state[{}]", stateName(mState));
    if (mState != State::Stopped) {
        return Error::ErrorCreatingProcess;
    }
    mInfo = info;
    if (const Error invalid = validateProcessInfo(info); invalid != Error::None) {
        return invalid;
    }
    if (info.breakaway || info.useJob || info.killOnJobClose) {
        if (const Error job = createJob(); job != Error::None) {
            return job;
        }
    }

    constexpr const char* kStep = "Create Process";
    const std::wstring exe = wide(info.exe);
    const std::wstring args = wide(info.args);
    const std::wstring dir = wide(info.dir);
    // The executable is quoted so that a path with blanks is never split into a shorter program.
    std::wstring commandLine = L"\"" + exe + L"\" " + args;
    std::vector<wchar_t> commandBuffer(commandLine.begin(), commandLine.end());
    commandBuffer.push_back(L'\0');
    std::wstring environment;
    if (!info.inheritEnv && !info.environment.empty()) {
        environment = wide(info.environment);
    }
    DWORD flags = CREATE_SUSPENDED;
    if (!environment.empty()) {
        flags |= CREATE_UNICODE_ENVIRONMENT;
    }
    if (info.breakaway) {
        flags |= CREATE_BREAKAWAY_FROM_JOB;
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    AutoHandle writePipe;
    if (info.capture) {
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE read = nullptr;
        HANDLE write = nullptr;
        if (!CreatePipe(&read, &write, &inheritable, 0) ||
            !SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0)) {
            const DWORD code = GetLastError();
            mReadPipe.reset(read);
            writePipe.reset(write);
            mState = State::Error;
            KVX_LOG_ERROR("[{}] Failed to create output capture pipe | OS ErrorCode: 0x{:x}", kStep, code);
            recordProcessEvent("prcs.create.erro", kStep, code);
            return Error::ErrorCreatingPipe;
        }
        mReadPipe.reset(read);
        writePipe.reset(write);
        startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = write;
        startup.hStdError = write;
    }
    if (info.verification != 0) {
        // No verification policy is defined; refusing is the only answer that claims nothing.
        mState = State::Error;
        KVX_LOG_ERROR("[{}] Binary verification policy [{}] is not supported [{}]", "Locking Binary",
                      info.verification, toString(mInfo));
        recordProcessEvent("prcs.create.erro", "Locking Binary", std::nullopt);
        return Error::ErrorLockingBinary;
    }

    if (info.uac) {
        if (const Error executed = executeApplication(exe, args, dir); executed != Error::None) {
            return executed;
        }
        // The shell started it running; there is no thread to resume.
        mState = State::Suspended;
        KVX_LOG_INFO("[{}] {}, cwd=[{}] | PID: {} |", kStep,
                     foundation::narrow(commandLine, KVX_SOURCE_LOCATION), info.dir, mProcessId);
        recordProcessEvent("prcs.create.succ", kStep, std::nullopt);
        return Error::None;
    }
    PROCESS_INFORMATION created{};
    void* environmentBlock = environment.empty() ? nullptr : environment.data();
    const wchar_t* directory = dir.empty() ? nullptr : dir.c_str();
    const BOOL inherit = info.capture ? TRUE : FALSE;
    const BOOL ok = info.userToken != nullptr
                        ? CreateProcessAsUserW(static_cast<HANDLE>(info.userToken), exe.c_str(),
                                               commandBuffer.data(), nullptr, nullptr, inherit, flags,
                                               environmentBlock, directory, &startup, &created)
                        : CreateProcessW(exe.c_str(), commandBuffer.data(), nullptr, nullptr, inherit, flags,
                                         environmentBlock, directory, &startup, &created);
    if (!ok) {
        const DWORD code = GetLastError();
        mState = State::Error;
        KVX_LOG_ERROR("[{}] {}: {} | {} | OS ErrorCode:  0x{:x}", kStep,
                      info.userToken != nullptr ? "CreateProcessAsUserW" : "CreateProcessW",
                      "failed to create process", toString(mInfo), code);
        recordProcessEvent("prcs.create.erro", kStep, code);
        return Error::ErrorCreatingProcess;
    }
    mProcess.reset(created.hProcess);
    mThread.reset(created.hThread);
    mProcessId = created.dwProcessId;
    mThreadId = created.dwThreadId;
    if (mJob && !AssignProcessToJobObject(mJob.get(), mProcess.get())) {
        KVX_LOG_WARN("failed to assign process to job object job, OS ErrorCode: 0x{:x}", GetLastError());
    }
    mState = State::Suspended;
    KVX_LOG_INFO("[{}] {}, cwd=[{}] | PID: {} |", kStep, foundation::narrow(commandLine, KVX_SOURCE_LOCATION),
                 info.dir, mProcessId);
    recordProcessEvent("prcs.create.succ", kStep, std::nullopt);
    return Error::None;
}

Error ProcessWin::run() {
    if (mState != State::Suspended) {
        KVX_ASSERT_ALWAYS(foundation::AssertLevel::Error,
                          "attempt to resume a process which is not suspended");
        KVX_LOG_WARN("The process is not on Suspended State, state:{}", stateName(mState));
        return Error::ErrorResumingProcess;
    }
    constexpr const char* kStep = "Resuming Process";
    if (mThread) {
        const DWORD previous = ResumeThread(mThread.get());
        if (previous == static_cast<DWORD>(-1)) {
            const DWORD code = GetLastError();
            mState = State::Error;
            KVX_LOG_ERROR("[{}] {}: {} | OS ErrorCode: 0x{:x}", kStep, "ResumeThread", toString(mInfo), code);
            recordProcessEvent("prcs.create.erro", kStep, code);
            return Error::ErrorResumingProcess;
        }
        if (previous != 1) {
            KVX_LOG_WARN("Unexpected previous suspend count [{}]", previous);
            recordProcessEvent("prcs.create.warn", kStep, std::nullopt);
        }
    }
    mState = State::Running;
    return Error::None;
}

Error ProcessWin::terminate() {
    constexpr const char* kStep = "Terminate Process";
    const BOOL ok = mJob ? TerminateJobObject(mJob.get(), 0) : TerminateProcess(mProcess.get(), 0);
    if (!ok) {
        const DWORD code = GetLastError();
        KVX_LOG_ERROR("{}: {} | {} | OS ErrorCode: 0x{:x}", kStep, "failed to terminate process",
                      toString(mInfo), code);
        return Error::ErrorTerminatingProcess;
    }
    return Error::None;
}

void ProcessWin::cleanup() {
    const auto close = [this](AutoHandle& handle, const char* what) {
        if (handle && !CloseHandle(handle.release())) {
            KVX_LOG_ERROR("[{}] Failed to close {}", mInfo.exe, what);
        }
    };
    close(mJob, "a job object handle");
    close(mReadPipe, "output read pipe handle");
    close(mThread, "a thread handle");
    close(mProcess, "a process handle");
}

void ProcessWin::runWait(const Process::OutputCallback& callback) {
    KVX_ASSERT(foundation::AssertLevel::Error, callback != nullptr, "runWait needs a callback");
    if (callback == nullptr || !mReadPipe) {
        return;
    }
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(mReadPipe.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        callback(std::string_view(buffer, read));
    }
}

std::mutex& factoryMutex() {
    static std::mutex mutex;
    return mutex;
}

Process::ImplFactory& factoryHook() {
    static Process::ImplFactory hook;
    return hook;
}

}  // namespace

Process::ImplFactory Process::setImplFactory(ImplFactory factory) {
    std::lock_guard lock(factoryMutex());
    return std::exchange(factoryHook(), std::move(factory));
}

std::unique_ptr<Process::Impl> Process::makeImpl() {
    std::lock_guard lock(factoryMutex());
    if (factoryHook()) {
        return factoryHook()();
    }
    return std::make_unique<ProcessWin>();
}

Result<Process, Process::Error> Process::createAndRun(const ProcessInfo& info) {
    std::unique_ptr<Impl> impl = makeImpl();
    if (const Error error = impl->createProcess(info); error != Error::None) {
        KVX_LOG_ERROR("Could not create process [{}]: error=[{}]", toString(info), errorName(error));
        return Err{error};
    }
    if (const Error error = impl->run(); error != Error::None) {
        KVX_LOG_ERROR("Could not run [{}]: error=[{}]", toString(info), errorName(error));
        return Err{error};
    }
    return Ok{Process(std::move(impl))};
}

}  // namespace kvx::services::process
