#pragma once
// Passes every call to the real log storage and counts what reaches the files: benchmark lines per
// file, flushes and the time spent in them.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "framework/logging/LogStorage.h"

namespace kvx::bench {

// Text every benchmark line carries, so separators and "goodbye" are not counted.
inline constexpr std::string_view kBenchLineMarker = "bench-line";

struct LogWriteCounters {
    std::atomic<uint64_t> mainLines{0};
    std::atomic<uint64_t> verboseLines{0};
    std::atomic<uint64_t> flushes{0};
    std::atomic<uint64_t> flushNanoseconds{0};
};

class CountingLogStorage final : public services::logging::ILogStorage {
public:
    explicit CountingLogStorage(std::shared_ptr<services::logging::ILogStorage> inner) : mInner(std::move(inner)) {}

    Result<void, std::string> createDirectories(const std::string& folder) override;
    Result<std::unique_ptr<services::logging::ILogStream>, int> openForAppend(const std::string& path) override;
    Result<void, services::logging::RenameError> replaceFile(const std::string& from, const std::string& to) override;
    std::vector<std::string> processesHolding(const std::string& path) override;

    const LogWriteCounters& counters() const { return mCounters; }

private:
    std::shared_ptr<services::logging::ILogStorage> mInner;
    LogWriteCounters mCounters;
};

}  // namespace kvx::bench
