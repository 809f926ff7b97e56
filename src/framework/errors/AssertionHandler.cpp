#include "framework/errors/AssertionHandler.h"

#include <atomic>
#include <utility>

#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "framework/errors/AppEvents.h"
#include "framework/errors/AssertFormat.h"
#include "framework/telemetry/TelemetryEvent.h"

namespace kvx::foundation {
namespace {

constexpr int64_t kSecondsBetweenDialogs = 3600;

class AssertResponder {
public:
    explicit AssertResponder(AssertionEnvironment environment) : mEnv(std::move(environment)) {}

    void operator()(const AssertReport& report) {
        const std::string summary = assertSummary(report);
        KVX_LOG_AS(report.function, logLevelForAssert(report.level),
                   "Assert {} Failed: condition[{}], message[{}]", assertLevelName(report.level),
                   report.condition, report.message);
        // One more frame: this call.
        const std::string stack = formatStackFrames(mEnv.platform->captureStack(report.framesToSkip + 1));
        const bool fatal = report.level == AssertLevel::Fatal;
        const bool configurable = mEnv.isConfigurable();
        const std::string banner = assertBanner(report, stack);
        if (fatal && configurable) {
            writeBanner(report, banner);
        }
        recordTelemetryEvent(TelemetryEvent(assertTaxonomy(report.level))
                                 .setParam("summary", summary)
                                 .setParam("function", services::logging::reduceFunctionName(report.function))
                                 .setParam("line", report.line)
                                 .setParam("extra_ctx", stack));
        recordAsAppEvent(report.level);
        if (fatal) {
            flushAllOutputs();
        }
        if (configurable && (fatal || report.level == AssertLevel::Error) && claimDialogTurn()) {
            alertDeveloper(banner);
        }
    }

private:
    void writeBanner(const AssertReport& report, const std::string& banner) {
        KVX_LOG_AS(report.function, logLevelForAssert(report.level), "{}", banner);
        if (mEnv.platform->isDebuggerAttached()) {
            mEnv.platform->writeToDebugger(banner);
        }
    }

    // Any thread may assert; the first to move the next allowed time on gets the turn.
    bool claimDialogTurn() {
        const int64_t now = clock().nowSecondsSinceEpoch();
        int64_t next = mNextDialogSeconds.load();
        while (now >= next) {
            if (mNextDialogSeconds.compare_exchange_weak(next, now + kSecondsBetweenDialogs)) {
                return true;
            }
        }
        return false;
    }

    void alertDeveloper(const std::string& text) {
        if (mEnv.platform->isDebuggerAttached()) {
            mEnv.platform->breakIntoDebugger();
        } else {
            mEnv.platform->showDetachedMessageBox(text);
        }
    }

    AssertionEnvironment mEnv;
    std::atomic<int64_t> mNextDialogSeconds{0};
};

}  // namespace

AssertHandler makeAssertionHandler(AssertionEnvironment environment) {
    auto responder = std::make_shared<AssertResponder>(std::move(environment));
    return [responder](const AssertReport& report) { (*responder)(report); };
}

}  // namespace kvx::foundation
