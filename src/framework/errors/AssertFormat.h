#pragma once
// The texts a failed check is reported with: log line, summary, banner, telemetry taxonomy and
// stack lines.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Assert.h"
#include "framework/errors/AssertPlatform.h"

namespace kvx::foundation {

// Fatal as FATAL, Error as ERROR, Warning as WARN, Debug as DEBUG; an unknown level as ERROR.
int32_t logLevelForAssert(AssertLevel level);

// "level[Fatal], condition[...], message[...]".
std::string assertSummary(const AssertReport& report);

// "assert.report.fatal" .. "assert.report.debug", "assert.report.unknown".
std::string assertTaxonomy(AssertLevel level);

// One line per frame, each starting with a line break: "function()+offset" when the symbol is
// known, else "module+hexoffset".
std::string formatStackFrames(const std::vector<StackFrame>& frames);

// The framed block written for Fatal checks of a developer process.
std::string assertBanner(const AssertReport& report, std::string_view stack);

}  // namespace kvx::foundation
