#pragma once
// What a crash report says: the crash's category identifier and the report handed to the suite's
// crash-reporter program.

#include <string>

#include "framework/errors/ExceptionSystem.h"

namespace kvx::foundation {

// "{:02X}-{}": the exception code's low byte, then where it happened ("module+hexoffset", or the
// bare address when no module holds it). Crashes of one kind at one place share it.
std::string crashIdentifier(const CrashInfo& crash);

struct CrashReportContext {
    std::string executablePath;
    std::string environment;  // "app.environment"; "production" when empty
    std::string mainLog;
    std::string verboseLog;
};

// The report as JSON text.
std::string serializeCrashReport(const CrashInfo& crash, const std::string& identifier,
                                 const CrashReportContext& context);

}  // namespace kvx::foundation
