#pragma once
// Starting a child process with full control over its token, environment, working directory, job
// and captured output. A child is always created suspended and resumed only once it sits in its
// job, so it cannot run a single instruction outside it.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/Result.h"

namespace kvx::services::process {

// What to start. Texts are UTF-8.
struct ProcessInfo {
    std::string exe;          // must not be empty
    std::string args;         // at most kMaxArgumentsLength UTF-16 characters
    std::string dir;          // empty: the parent's
    std::string environment;  // "name=value" entries each ended by a NUL, and a final NUL; empty: none
    bool breakaway = false;   // the child may leave the parent's job, and may leave its own
    bool useJob = false;
    bool inheritEnv = false;  // the parent's environment instead of `environment`
    bool uac = false;         // through the shell's "open" verb
    uint32_t verification = 0;
    void* userToken = nullptr;  // a Windows token handle, not owned; set: created under that token
    bool capture = false;       // standard output and error through a pipe
    bool killOnJobClose = false;
};

inline constexpr size_t kMaxArgumentsLength = 32768;

// "exe=[..], args=[..], dir=[..], breakaway=[..], inheritEnv=[..], uac=[..] ut=[..] capture=[..]".
std::string toString(const ProcessInfo& info);

class Process {
public:
    enum class State : uint32_t { Stopped = 0, Suspended = 1, Running = 2, Error = 3 };
    enum class Error : uint32_t {
        None = 0,
        ExecutableInvalid = 1,
        ExecutableNotPresent = 2,
        CommandLineInvalid = 3,
        CommandLineExceedsMaxLength = 4,
        WorkingDirInvalid = 5,
        WorkingDirNotPresent = 6,
        ErrorCreatingProcess = 7,
        ErrorResumingProcess = 8,
        ErrorTerminatingProcess = 9,
        ErrorCanceled = 10,
        ErrorLockingBinary = 11,
        ErrorCheckingSignature = 12,
        ErrorCreatingPipe = 13,
    };
    // Each chunk of captured output as it arrives.
    using OutputCallback = std::function<void(std::string_view chunk)>;

    class Impl {
    public:
        virtual ~Impl() = default;
        // Leaves the child Suspended.
        virtual Error createProcess(const ProcessInfo& info) = 0;
        virtual Error run() = 0;
        virtual Error terminate() = 0;
        State state() const { return mState; }
        virtual const ProcessInfo& info() const = 0;
        // The checks before anything is created; a failure is logged, recorded and sets Error.
        virtual Error validateProcessInfo(const ProcessInfo& info);
        virtual void cleanup() = 0;
        virtual uint32_t processId() const = 0;
        virtual void* processHandle() const = 0;
        virtual void* threadHandle() const = 0;
        // Reads the captured output until the child closes it.
        virtual void runWait(const OutputCallback& callback) = 0;

    protected:
        State mState = State::Stopped;
    };
    using ImplFactory = std::function<std::unique_ptr<Impl>()>;

    // Creates and resumes the child; a failure is logged with the info and returned.
    static Result<Process, Error> createAndRun(const ProcessInfo& info);
    // Replaces how implementations are made (null: the Windows one) and returns the previous hook.
    static ImplFactory setImplFactory(ImplFactory factory);

    Process(Process&&) noexcept = default;
    Process& operator=(Process&&) noexcept = default;

    Impl& impl() { return *mImpl; }
    State state() const { return mImpl->state(); }
    uint32_t processId() const { return mImpl->processId(); }
    void* processHandle() const { return mImpl->processHandle(); }
    Error terminate() { return mImpl->terminate(); }
    void runWait(const OutputCallback& callback) { mImpl->runWait(callback); }

private:
    explicit Process(std::unique_ptr<Impl> impl) : mImpl(std::move(impl)) {}
    static std::unique_ptr<Impl> makeImpl();

    std::unique_ptr<Impl> mImpl;
};

// Names for logs; other values give "unknown" after a failed check.
const char* stateName(Process::State state);
const char* errorName(Process::Error error);

// The telemetry of process creation: "prcs.create.erro", "prcs.create.warn" with "step" and
// "code" (hexadecimal, "none" without an operating-system code), "prcs.create.succ" with "step".
void recordProcessEvent(const char* taxonomy, std::string_view step, std::optional<uint32_t> code);

}  // namespace kvx::services::process
