#include "foundation/Logging.h"

namespace kvx::services::logging {

namespace {
thread_local std::vector<HeldLine>* tHeldLines = nullptr;
}  // namespace

ScopedLineHold::ScopedLineHold(std::vector<HeldLine>& lines) : mPrevious(tHeldLines) {
    tHeldLines = &lines;
}

ScopedLineHold::~ScopedLineHold() {
    tHeldLines = mPrevious;
}

std::vector<HeldLine>* heldLinesOfThisThread() {
    return tHeldLines;
}

void writeHeldLines(const std::vector<HeldLine>& lines) {
    for (const HeldLine& line : lines) {
        if (std::vector<HeldLine>* held = heldLinesOfThisThread()) {
            held->push_back(line);
        } else if (ILogger* logger = activeLogger()) {
            logger->log(line.level, line.function, line.message);
        }
    }
}

const char* levelName(int32_t level) {
    static constexpr const char* kNames[] = {"FATAL", "ERROR", "WARN", "INFO", "DEBUG", "VERBOSE"};
    if (level < 0) {
        return kNames[0];
    }
    return level <= Verbose ? kNames[level] : "???";
}

std::string reduceFunctionName(std::string_view signature) {
    static constexpr std::string_view kAnonymous = "(anonymous namespace)";
    static constexpr std::string_view kGccAnonymous = "{anonymous}";
    static constexpr std::string_view kCallOperator = "operator ()";
    // GCC spells the anonymous namespace its own way; the log shows one spelling.
    std::string function(signature);
    for (size_t at = function.find(kGccAnonymous); at != std::string::npos; at = function.find(kGccAnonymous, at)) {
        function.replace(at, kGccAnonymous.size(), kAnonymous);
    }
    // Hide the marker's own parenthesis and blank from the searches below; positions stay the same.
    // A call operator's "()" is part of its name too ("...::<lambda_1>::operator ()").
    std::string masked(function);
    for (std::string_view part : {kAnonymous, kCallOperator}) {
        for (size_t at = masked.find(part); at != std::string::npos; at = masked.find(part, at)) {
            masked.replace(at, part.size(), std::string(part.size(), '#'));
        }
    }
    size_t end = masked.find('(');
    if (end == std::string::npos) {
        end = masked.size();
    }
    size_t begin = masked.rfind(' ', end);
    begin = begin == std::string::npos ? 0 : begin + 1;
    while (begin < end && function[begin] == '*') {
        ++begin;
    }
    return function.substr(begin, end - begin);
}

}  // namespace kvx::services::logging
