#include "framework/errors/AssertFormat.h"

#include "foundation/Logging.h"

namespace kvx::foundation {

int32_t logLevelForAssert(AssertLevel level) {
    using namespace services::logging;
    switch (level) {
        case AssertLevel::Fatal:
            return Fatal;
        case AssertLevel::Error:
            return Error;
        case AssertLevel::Warning:
            return Warn;
        case AssertLevel::Debug:
            return Debug;
    }
    return Error;
}

std::string assertSummary(const AssertReport& report) {
    return safeFormat("level[{}], condition[{}], message[{}]", assertLevelName(report.level),
                      report.condition, report.message);
}

std::string assertTaxonomy(AssertLevel level) {
    switch (level) {
        case AssertLevel::Fatal:
            return "assert.report.fatal";
        case AssertLevel::Error:
            return "assert.report.error";
        case AssertLevel::Warning:
            return "assert.report.warning";
        case AssertLevel::Debug:
            return "assert.report.debug";
    }
    return "assert.report.unknown";
}

std::string formatStackFrames(const std::vector<StackFrame>& frames) {
    std::string text;
    for (const auto& frame : frames) {
        text += frame.function.empty() ? safeFormat("\n{}+{:x}", frame.module, frame.moduleOffset)
                                       : safeFormat("\n{}()+{}", frame.function, frame.functionOffset);
    }
    return text;
}

std::string assertBanner(const AssertReport& report, std::string_view stack) {
    return safeFormat(
        "\n********************************* ASSERT FAILED ********************************\n"
        "  level: {}\n  cond:  {}\n   msg:  {}\n  func:  {}\n    at:  {}({})\n stack:  {}\n"
        "********************************************************************************\n",
        assertLevelName(report.level), report.condition, report.message,
        services::logging::reduceFunctionName(report.function), report.file, report.line, stack);
}

}  // namespace kvx::foundation
