#include "destager/ErrorTelemetry.h"

#include <kvx/BuildVersion.h>

#include "destager/ClientFileVersion.h"
#include "destager/TelemetryRecord.h"
#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "framework/config/ConfigSystem.h"

namespace kvx::apps {

namespace {
constexpr const char* kTelemetryFunction = "kvx::apps::addErrorTelemetryImpl";
constexpr const char* kCorrelationIdKey = "machine.telemetry.updateCorrelationId";
constexpr const char* kAttemptCountKey = "machine.updateAttemptCount";
constexpr const char* kDestageErrorsKey = "machine.destageErrors";
constexpr const char* kAttendedKey = "runtime.isAttendedUpdate";

int32_t logLevelFor(int32_t severity) {
    switch (severity) {
        case kSeverityDiag:
            return services::logging::Info;
        case kSeverityWarning:
            return services::logging::Warn;
        default:
            return services::logging::Error;
    }
}

void appendRecord(config::ConfigSystem& config, const TelemetryRecord& record) {
    auto lock = config.lockData();
    std::string errors = config.getString(kDestageErrorsKey, "");
    errors += '&';
    errors += encodeTelemetryRecord(record);
    config.set(config::Store::Ordinary, kDestageErrorsKey, std::move(errors), config::kScopeMachine);
}
}  // namespace

void addErrorTelemetryImpl(int32_t code, int32_t severity, const std::string& message) {
    config::ConfigSystem& config = config::configSystem();
    TelemetryRecord record;
    record.ecod = fmt::format("UPEC-{}", code);
    record.emsg = appendReportedKind(upecName(code));
    record.uuid = config.getString(kCorrelationIdKey, "");
    if (record.uuid.empty()) {
        KVX_LOG_AS(kTelemetryFunction, services::logging::Error, "[{}] is missing from ini file", kCorrelationIdKey);
    }
    record.tsIncident = formatIncidentTime(foundation::clock().nowNanosecondsSinceEpoch());
    record.esev = severityName(severity);
    record.estr = message;
    record.fvers = internal::fileVersionText(internal::telemetryClientExePath());
    record.tvers = fmt::format("{}.{}.{}.{}", kBuildVersionMajor, kBuildVersionMinor, kBuildVersionPatch,
                               kBuildVersionBuild);
    record.attempt = std::to_string(config.getUInt32(kAttemptCountKey, 0));
    record.ctx = config.getBool(kAttendedKey, false) ? "attended" : "background";
    appendRecord(config, record);
    KVX_LOG_AS(kTelemetryFunction, logLevelFor(severity), "{}: {}", record.ecod, message);
}

}  // namespace kvx::apps
