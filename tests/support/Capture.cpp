#include "support/Capture.h"

namespace kvx::test {

void PrintTo(const LoggedLine& line, std::ostream* out) {
    *out << "{" << line.level << ", " << line.function << ", \"" << line.message << "\"}";
}

void CapturingLogger::log(int32_t level, std::string_view function, std::string_view message) {
    {
        std::lock_guard lock(mMutex);
        mLines.push_back({level, services::logging::reduceFunctionName(function), std::string(message)});
    }
    if (afterLine) {
        afterLine();
    }
}

std::vector<LoggedLine> CapturingLogger::lines() const {
    std::lock_guard lock(mMutex);
    return mLines;
}

std::vector<LoggedLine> CapturingLogger::linesContaining(std::string_view text) const {
    std::vector<LoggedLine> hits;
    for (const auto& line : lines()) {
        if (line.message.find(text) != std::string::npos) {
            hits.push_back(line);
        }
    }
    return hits;
}

void CapturingLogger::clear() {
    std::lock_guard lock(mMutex);
    mLines.clear();
}

ScopedAssertCapture::ScopedAssertCapture() {
    mPrevious = foundation::setAssertHandler([this](const foundation::AssertReport& report) {
        std::lock_guard lock(mMutex);
        mAsserts.push_back({report.level, std::string(report.condition),
                            services::logging::reduceFunctionName(report.function),
                            std::string(report.message)});
    });
}

std::vector<CapturedAssert> ScopedAssertCapture::asserts() const {
    std::lock_guard lock(mMutex);
    return mAsserts;
}

std::vector<std::string> ScopedAssertCapture::messages() const {
    std::vector<std::string> texts;
    for (const auto& report : asserts()) {
        texts.push_back(report.message);
    }
    return texts;
}

Reports ScopedAssertCapture::conditionsAndMessages() const {
    Reports reports;
    for (const auto& report : asserts()) {
        reports.emplace_back(report.condition, report.message);
    }
    return reports;
}

}  // namespace kvx::test
