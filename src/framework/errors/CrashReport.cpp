#include "framework/errors/CrashReport.h"

#include <nlohmann/json.hpp>

#include "foundation/SafeFormat.h"

namespace kvx::foundation {

std::string crashIdentifier(const CrashInfo& crash) {
    const std::string place = crash.module.empty() ? safeFormat("{:x}", crash.faultAddress)
                                                   : safeFormat("{}+{:x}", crash.module, crash.moduleOffset);
    return safeFormat("{:02X}-{}", crash.exceptionCode & 0xFFu, place);
}

std::string serializeCrashReport(const CrashInfo& crash, const std::string& identifier,
                                 const CrashReportContext& context) {
    nlohmann::json report = {
        {"identifier", identifier},
        {"exceptionCode", safeFormat("{:08X}", crash.exceptionCode)},
        {"faultAddress", safeFormat("{:x}", crash.faultAddress)},
        {"module", crash.module},
        {"moduleOffset", safeFormat("{:x}", crash.moduleOffset)},
        {"threadId", crash.threadId},
        {"executable", context.executablePath},
        {"app.environment", context.environment.empty() ? std::string("production") : context.environment},
        {"logFiles", {{"main", context.mainLog}, {"verbose", context.verboseLog}}},
    };
    // Replacement characters instead of an exception for paths that are not valid UTF-8.
    return report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace kvx::foundation
