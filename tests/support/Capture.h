#pragma once
// A logger and an assertion handler that record what the code under test reports.

#include <atomic>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "foundation/Assert.h"
#include "foundation/Logging.h"

namespace kvx::test {

struct LoggedLine {
    int32_t level;
    std::string function;  // reduced to the qualified name, as the log file shows it
    std::string message;
    bool operator==(const LoggedLine&) const = default;
};
using LoggedLines = std::vector<LoggedLine>;
using Reports = std::vector<std::pair<std::string, std::string>>;  // (condition, message) of asserts
void PrintTo(const LoggedLine& line, std::ostream* out);

class CapturingLogger final : public services::logging::ILogger {
public:
    void setPersonaeInfo(const PersonaeInfo&) override {}
    bool isEnabled() const override { return true; }
    void log(int32_t level, std::string_view function, std::string_view message) override;
    void flush() override { ++flushes; }

    std::vector<LoggedLine> lines() const;
    std::vector<LoggedLine> linesContaining(std::string_view text) const;
    size_t count(std::string_view text) const { return linesContaining(text).size(); }
    void clear();

    std::function<void()> afterLine;  // run after each line is recorded, on the logging thread
    std::atomic<int> flushes{0};

private:
    mutable std::mutex mMutex;
    std::vector<LoggedLine> mLines;
};

// Installs a CapturingLogger as the logger singleton for the lifetime of the object.
class ScopedCapturingLogger {
public:
    ScopedCapturingLogger()
        : mLogger(
              foundation::utils::Singleton<services::logging::ILogger>::createDerived<CapturingLogger>()) {}
    ~ScopedCapturingLogger() { foundation::utils::Singleton<services::logging::ILogger>::destroy(); }
    CapturingLogger* operator->() { return &mLogger; }
    CapturingLogger& operator*() { return mLogger; }

private:
    CapturingLogger& mLogger;
};

struct CapturedAssert {
    foundation::AssertLevel level;
    std::string condition;
    std::string function;
    std::string message;
};

// Records failed assertions while it lives; the previous handler comes back afterwards.
class ScopedAssertCapture {
public:
    ScopedAssertCapture();
    ~ScopedAssertCapture() { foundation::setAssertHandler(std::move(mPrevious)); }
    std::vector<CapturedAssert> asserts() const;
    std::vector<std::string> messages() const;
    // (condition, message) of each report, in order.
    Reports conditionsAndMessages() const;

private:
    mutable std::mutex mMutex;
    std::vector<CapturedAssert> mAsserts;
    foundation::AssertHandler mPrevious;
};

}  // namespace kvx::test
