#include "CountingLogStorage.h"

#include "BenchFigures.h"

namespace kvx::bench {
namespace {

using services::logging::ILogStream;
using services::logging::StreamError;

class CountingLogStream final : public ILogStream {
public:
    CountingLogStream(std::unique_ptr<ILogStream> inner, std::atomic<uint64_t>& lines, LogWriteCounters& counters)
        : mInner(std::move(inner)), mLines(lines), mCounters(counters) {}

    bool write(std::string_view text) override {
        const bool written = mInner->write(text);
        // A write carries a whole pass of lines: count each marked one.
        for (size_t at = text.find(kBenchLineMarker); at != std::string_view::npos;
             at = text.find(kBenchLineMarker, at + 1)) {
            mLines.fetch_add(1, std::memory_order_relaxed);
        }
        return written;
    }
    Result<uint64_t, StreamError> position() override { return mInner->position(); }
    void restore(uint64_t position) override { mInner->restore(position); }
    void flush() override {
        const auto before = monotonicNow();
        mInner->flush();
        mCounters.flushNanoseconds.fetch_add(static_cast<uint64_t>((monotonicNow() - before).count()),
                                             std::memory_order_relaxed);
        mCounters.flushes.fetch_add(1, std::memory_order_relaxed);
    }

private:
    std::unique_ptr<ILogStream> mInner;
    std::atomic<uint64_t>& mLines;
    LogWriteCounters& mCounters;
};

}  // namespace

Result<void, std::string> CountingLogStorage::createDirectories(const std::string& folder) {
    return mInner->createDirectories(folder);
}

Result<std::unique_ptr<ILogStream>, int> CountingLogStorage::openForAppend(const std::string& path) {
    auto opened = mInner->openForAppend(path);
    if (opened.isError()) {
        return Err{opened.peekError()};
    }
    std::atomic<uint64_t>& lines = path.ends_with("Verbose.log") ? mCounters.verboseLines : mCounters.mainLines;
    return Ok{std::unique_ptr<ILogStream>(std::make_unique<CountingLogStream>(opened.unwrap(), lines, mCounters))};
}

Result<void, services::logging::RenameError> CountingLogStorage::replaceFile(const std::string& from,
                                                                             const std::string& to) {
    return mInner->replaceFile(from, to);
}

std::vector<std::string> CountingLogStorage::processesHolding(const std::string& path) {
    return mInner->processesHolding(path);
}

}  // namespace kvx::bench
