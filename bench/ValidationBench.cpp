// validation_bench time FOLDER ZIP [REPEATS] | memory FOLDER ZIP
// `time`: one counted pass that proves every file was read, then timed runs of the staged-file
// validation, called plainly and on the io workers. `memory`: the first validation as the destager
// runs it (started ahead on the "global-io" workers, reported on the main thread) in a fresh
// process, and the process's peak working set.

#include <windows.h>
#include <psapi.h>

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include <fmt/format.h>

#include "BenchFigures.h"
#include "destager/EarlyValidation.h"
#include "destager/StagedFileValidation.h"
#include "foundation/Singleton.h"
#include "framework/app/WorkQueueSetup.h"
#include "framework/config/ConfigSystem.h"
#include "support/ForwardingFilesystem.h"
#include "support/ScopedFilesystem.h"

namespace {

using namespace kvx;
using foundation::utils::Singleton;

constexpr double kMiB = 1024.0 * 1024.0;

// Counts the files opened and the bytes read through the filesystem layer.
class CountingFileStream final : public fs::IFileStream {
public:
    CountingFileStream(std::unique_ptr<fs::IFileStream> inner, uint64_t& bytes) : mInner(std::move(inner)), mBytes(bytes) {}
    Result<size_t, uint32_t> read(void* buffer, size_t count) override { return counted(mInner->read(buffer, count)); }
    Result<std::vector<uint8_t>, uint32_t> readAll() override {
        auto all = mInner->readAll();
        mBytes += all.isOk() ? all.peek().size() : 0;
        return all;
    }
    Result<size_t, uint32_t> readAt(uint64_t offset, void* buffer, size_t count) override {
        return counted(mInner->readAt(offset, buffer, count));
    }
    Result<void, uint32_t> write(std::span<const uint8_t> bytes) override { return mInner->write(bytes); }
    Result<uint64_t, uint32_t> size() override { return mInner->size(); }
    Result<uint64_t, uint32_t> position() override { return mInner->position(); }
    Result<uint64_t, uint32_t> seek(int64_t offset, fs::SeekBase base) override { return mInner->seek(offset, base); }
    Result<void, uint32_t> flush() override { return mInner->flush(); }

private:
    Result<size_t, uint32_t> counted(Result<size_t, uint32_t> got) {
        mBytes += got.isOk() ? got.peek() : 0;
        return got;
    }
    std::unique_ptr<fs::IFileStream> mInner;
    uint64_t& mBytes;
};

class CountingFilesystem final : public test::ForwardingFilesystem {
public:
    Result<std::unique_ptr<fs::IFileStream>, fs::OsError> open(const fs::Path& path, fs::FileAccess access,
                                                               fs::CreateDisposition disposition,
                                                               uint32_t shareFlags) override {
        auto opened = ForwardingFilesystem::open(path, access, disposition, shareFlags);
        if (opened.isError()) {
            return opened;
        }
        ++filesOpened;
        return Ok{std::unique_ptr<fs::IFileStream>(std::make_unique<CountingFileStream>(opened.unwrap(), bytesRead))};
    }
    uint64_t filesOpened = 0;
    uint64_t bytesRead = 0;
};

// Mismatches would be appended here; a clean tree leaves it empty.
size_t telemetryRecords(const config::ConfigSystem& config) {
    const std::string errors = config.getString("machine.destageErrors", "");
    return static_cast<size_t>(std::count(errors.begin(), errors.end(), '&'));
}

// The same file reads and CRC-32 work with one buffer for the whole pass: what validation would
// cost without a fresh buffer per file. Returns the bytes read.
uint64_t crcWithReusedBuffer(const fs::Path& folder) {
    constexpr size_t kChunk = 1 << 20;
    const std::unique_ptr<uint8_t[]> chunk(new uint8_t[kChunk]);
    uint64_t bytes = 0;
    uLong combined = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.std())) {
        auto opened = entry.is_regular_file()
                          ? fs::filesystem().open(fs::Path(entry.path()), fs::FileAccess::Read,
                                                  fs::CreateDisposition::OpenExisting, fs::ShareRead)
                          : Result<std::unique_ptr<fs::IFileStream>, fs::OsError>(Err{fs::OsError{0}});
        if (opened.isError()) {
            continue;
        }
        std::unique_ptr<fs::IFileStream> stream = opened.unwrap();
        uLong crc = crc32(0L, Z_NULL, 0);
        for (auto got = stream->read(chunk.get(), kChunk); got.isOk() && got.peek() > 0;
             got = stream->read(chunk.get(), kChunk)) {
            crc = crc32(crc, chunk.get(), static_cast<uInt>(got.peek()));
            bytes += got.peek();
        }
        combined ^= crc;
    }
    return combined == 0xFFFFFFFFu ? 0 : bytes;  // keeps the CRC work observable
}

// Runs `pass` repeatedly; prints each wall time and the medians of wall and CPU time.
template <typename Pass>
void timeRepeats(const char* name, int repeats, Pass pass) {
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < repeats; ++i) {
        const double wallBefore = bench::secondsNow();
        const double cpuBefore = bench::processCpuSeconds();
        pass();
        cpu.push_back((bench::processCpuSeconds() - cpuBefore) * 1000);
        wall.push_back((bench::secondsNow() - wallBefore) * 1000);
        fmt::print("{} {}: {:.1f} ms, cpu {:.1f} ms\n", name, i + 1, wall.back(), cpu.back());
    }
    bench::printFigure(fmt::format("{}.run", name), bench::median(wall), "ms");
    bench::printFigure(fmt::format("{}.cpu", name), bench::median(cpu), "ms");
}

int timeValidation(const fs::Path& folder, const fs::Path& zip, int repeats) {
    auto& config = Singleton<config::ConfigSystem>::create();
    {
        test::ScopedFilesystem counting(std::make_shared<CountingFilesystem>());
        apps::tryValidateStagedFiles(folder, zip, false);
        bench::printFigure("validation.files_opened", static_cast<double>(counting->filesOpened), "files");
        bench::printFigure("validation.bytes_read", static_cast<double>(counting->bytesRead), "bytes");
    }
    timeRepeats("validation", repeats, [&] { apps::tryValidateStagedFiles(folder, zip, false); });
    bench::printFigure("validation.telemetry_records", static_cast<double>(telemetryRecords(config)), "records");
    {
        // As the destager runs it: the reads on its "global-io" workers, reported on this thread.
        apps::WorkerThreadManager workers;
        apps::prepareWorkQueues(config, {{"global-compute"}, {"global-io"}}, workers);
        timeRepeats("validation_io", repeats, [&] { apps::internal::EarlyValidation(folder, zip, false).report(); });
        apps::shutdownWorkQueues(workers);
    }
    Singleton<config::ConfigSystem>::destroy();
    uint64_t referenceBytes = 0;
    timeRepeats("crc_reused_buffer", repeats, [&] { referenceBytes = crcWithReusedBuffer(folder); });
    bench::printFigure("crc_reused_buffer.bytes_read", static_cast<double>(referenceBytes), "bytes");
    return 0;
}

PROCESS_MEMORY_COUNTERS memoryCounters() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters;
}

int measureMemory(const fs::Path& folder, const fs::Path& zip) {
    auto& config = Singleton<config::ConfigSystem>::create();
    // The destager's queues with their default workers, started before the first figure as the
    // destager starts them long before it validates.
    apps::WorkerThreadManager workers;
    apps::prepareWorkQueues(config, {{"global-compute"}, {"global-io"}}, workers);
    bench::printFigure("memory.io_workers",
                       static_cast<double>(apps::workQueueThreadCount(config, "global-io")), "threads");
    const PROCESS_MEMORY_COUNTERS before = memoryCounters();
    apps::internal::EarlyValidation(folder, zip, false).report();
    const PROCESS_MEMORY_COUNTERS after = memoryCounters();
    apps::shutdownWorkQueues(workers);
    bench::printFigure("memory.peak_working_set_before", static_cast<double>(before.PeakWorkingSetSize) / kMiB, "MiB");
    bench::printFigure("memory.peak_working_set", static_cast<double>(after.PeakWorkingSetSize) / kMiB, "MiB");
    bench::printFigure("memory.peak_working_set_growth",
                       static_cast<double>(after.PeakWorkingSetSize - before.PeakWorkingSetSize) / kMiB, "MiB");
    bench::printFigure("memory.peak_private_before", static_cast<double>(before.PeakPagefileUsage) / kMiB, "MiB");
    bench::printFigure("memory.peak_private", static_cast<double>(after.PeakPagefileUsage) / kMiB, "MiB");
    bench::printFigure("memory.telemetry_records", static_cast<double>(telemetryRecords(config)), "records");
    Singleton<config::ConfigSystem>::destroy();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fmt::print(stderr, "usage: validation_bench time FOLDER ZIP [REPEATS] | memory FOLDER ZIP\n");
        return 2;
    }
    const std::string_view mode = argv[1];
    const fs::Path folder = fs::Path::fromUtf8(argv[2]);
    const fs::Path zip = fs::Path::fromUtf8(argv[3]);
    if (mode == "time") {
        return timeValidation(folder, zip, argc > 4 ? std::max(1, std::atoi(argv[4])) : 5);
    }
    if (mode == "memory") {
        return measureMemory(folder, zip);
    }
    fmt::print(stderr, "validation_bench: unknown mode {}\n", mode);
    return 2;
}
