#include "process/ShutdownTimeout.h"

#include <windows.h>

#include <algorithm>
#include <charconv>

#include "foundation/Logging.h"
#include "foundation/fs/IFilesystem.h"
#include "foundation/registry/RegistryKey.h"
#include "framework/config/ConfigSystem.h"
#include "framework/errors/AppEvents.h"
#include "framework/telemetry/TelemetryEvent.h"
#include "framework/workqueue/NamedThread.h"
#include "kvx/BuildVersion.h"

namespace kvx::apps {

namespace {

constexpr const char* kDestagerName = "KorvDestager";
constexpr const char* kBackgroundServiceName = "KorvBackgroundService";
constexpr int64_t kDefaultDurationSeconds = 300;
// The clock is read again this often, so that a clock other than the wall's (the
// tests' virtual time) moves the guard too; destruction wakes it at once.
constexpr std::chrono::milliseconds kClockPoll{50};

std::string runningAppName() {
    auto executable = fs::filesystem().executablePath();
    return executable.isOk() ? executable.peek().std().stem().string() : std::string();
}

int64_t configuredDurationSeconds() {
    const std::string text = config::configSystem().getString("app.serviceStopTimeoutInSeconds",
                                                              std::to_string(kDefaultDurationSeconds));
    int64_t seconds = kDefaultDurationSeconds;
    std::from_chars(text.data(), text.data() + text.size(), seconds);
    return seconds;
}

foundation::RegistryKey openShutdownErrors(const std::string& appKeyPath, bool create) {
    return foundation::RegistryKey(HKEY_LOCAL_MACHINE, appKeyPath, true, create)
        .openSubKey(kShutdownErrorsSubKey, true, create);
}

// Reads and deletes the entry an earlier, timed-out run of `name` left, and reports it.
void reportEarlierTimeout(const std::string& appKeyPath, const std::string& name) {
    if (!openShutdownErrors(appKeyPath, false).isValid()) {
        return;
    }
    foundation::RegistryKey errors = openShutdownErrors(appKeyPath, true);
    if (!errors.valueExists(name)) {
        return;
    }
    const std::string version = errors.get<std::string>(name);
    errors.deleteValue(name);
    if (!version.empty()) {
        foundation::recordTelemetryEvent(
            foundation::TelemetryEvent("erro.svc.sdto").setParam("fver", version).setParam("exe", name));
    }
}

}  // namespace

ShutdownTimeout::ShutdownTimeout(std::string appKeyPath, std::shared_ptr<foundation::IClock> clock)
    : mAppKeyPath(std::move(appKeyPath)),
      mClock(clock ? std::move(clock) : std::make_shared<foundation::SystemClock>()) {}

ShutdownTimeout::~ShutdownTimeout() {
    {
        std::lock_guard lock(mMutex);
        mStopped = true;
    }
    mCondition.notify_all();
    if (mThread.joinable()) {
        mThread.join();
    }
}

void ShutdownTimeout::init(bool terminateByDefault) {
    mAppName = runningAppName();
    const auto& config = config::configSystem();
    mForceCrash = config.getBool("app.serviceStopTimeoutForceCrash", false);
    mForceTerminate =
        config.getBool("app.serviceStopTimeoutForceTerminate", mForceCrash || terminateByDefault);
    KVX_LOG_DEBUG("Shutdown guard running, mode[{}]", mForceCrash       ? "Crash"
                                                      : mForceTerminate ? "Quit"
                                                                        : "Log");
    if (mAppName == kDestagerName) {
        return;
    }
    // The background service also reports the destager's time-outs: the destager never reports its own.
    if (mAppName == kBackgroundServiceName) {
        reportEarlierTimeout(mAppKeyPath, kDestagerName);
    }
    reportEarlierTimeout(mAppKeyPath, mAppName);
}

void ShutdownTimeout::stopSignalReceived() {
    std::lock_guard lock(mMutex);
    if (mStarted) {
        return;
    }
    mStarted = true;
    const int64_t seconds = configuredDurationSeconds();
    if (seconds < 1) {
        return;
    }
    const std::chrono::seconds duration(seconds);
    KVX_LOG_INFO("Starting shutdown timeout, duration[{}]", fmt::format("{}s", seconds));
    // Counted from the stop signal, not from whenever the thread gets to run.
    const auto deadline = mClock->monotonicNow() + duration;
    auto thread = makeNamedThread("ShutdownTimeout", [this, deadline] { guard(deadline); });
    if (thread.isError()) {
        KVX_LOG_ERROR("Failed to start shutdown timeout thread: {}", thread.peekError());
        return;
    }
    mThread = thread.unwrap();
}

void ShutdownTimeout::guard(std::chrono::nanoseconds deadline) {
    {
        std::unique_lock lock(mMutex);
        for (;;) {
            if (mStopped) {
                return;
            }
            const auto now = mClock->monotonicNow();
            if (now >= deadline) {
                break;
            }
            mCondition.wait_for(lock, std::min<std::chrono::nanoseconds>(deadline - now, kClockPoll));
        }
    }
    expire();
}

void ShutdownTimeout::expire() {
    // Attempted once; a failed write must not keep the process alive.
    const std::string version = fmt::format("{}.{}.{}.{}", kBuildVersionMajor, kBuildVersionMinor,
                                            kBuildVersionPatch, kBuildVersionBuild);
    openShutdownErrors(mAppKeyPath, true).set(mAppName, std::string_view(version));
    if (mForceCrash) {
        foundation::onCrashRequested();
        // A real fault, so that the crash handler writes its report.
        int* volatile zero = nullptr;
        *zero = 0;
    }
    if (mForceTerminate) {
        // At once and without the runtime's abort, which shows a message box in a windowless program.
        TerminateProcess(GetCurrentProcess(), kShutdownTimeoutExitCode);
    }
}

}  // namespace kvx::apps
