#include "LoggerBench.h"

#include <latch>
#include <optional>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "BenchFigures.h"
#include "CountingLogStorage.h"
#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "foundation/Singleton.h"
#include "framework/logging/LogFormat.h"
#include "framework/logging/ThreadedLogger.h"

namespace kvx::bench {
namespace {

using foundation::utils::Singleton;
using services::logging::ILogger;
using services::logging::ThreadedLogger;

// A typical line of the program: a path in brackets, about 150 bytes once formatted.
constexpr const char* kPayloadPath = "C:\\Program Files\\Tessory\\Korv Desktop\\plugins\\renderer\\shaders.pak";
constexpr std::chrono::milliseconds kPacingSlot{1};

// Flat out when `slot` is zero; otherwise `burst` lines per thread at the start of each slot.
struct CallerPlan {
    int64_t linesPerThread;
    int64_t burst;
    std::chrono::nanoseconds slot;
};

struct RoundResult {
    double callerSeconds;
    double drainedSeconds;
    uint64_t offered;
    uint64_t mainLines;
    uint64_t verboseLines;
    uint64_t flushes;
    double flushSeconds;
    int64_t callMedianNs;
    int64_t callP99Ns;
    int64_t callMaxNs;
};

void callerLoop(int thread, const CallerPlan& plan, std::chrono::nanoseconds start, std::vector<int64_t>& samples) {
    samples.resize(static_cast<size_t>(plan.linesPerThread));
    for (int64_t i = 0; i < plan.linesPerThread; ++i) {
        if (plan.slot.count() > 0 && i % plan.burst == 0) {
            foundation::clock().sleepUntil(start + plan.slot * (i / plan.burst));
        }
        const auto before = monotonicNow();
        KVX_LOG_INFO("bench-line thread[{}] seq[{}] path[{}]", thread, i, kPayloadPath);
        samples[static_cast<size_t>(i)] = (monotonicNow() - before).count();
    }
}

std::vector<int64_t> merged(std::vector<std::vector<int64_t>>& perThread) {
    std::vector<int64_t> all;
    for (std::vector<int64_t>& samples : perThread) {
        all.insert(all.end(), samples.begin(), samples.end());
        samples = {};
    }
    return all;
}

std::optional<RoundResult> runRound(const LoggerBenchOptions& options, const CallerPlan& plan) {
    auto storage = std::make_shared<CountingLogStorage>(benchLogStorage());
    auto& logger = Singleton<ILogger>::createDerived<ThreadedLogger>(services::logging::LoggerEnvironment{storage});
    auto opened = logger.open(services::logging::LogPaths{options.folder, "KorvDestager"});
    if (opened.isError()) {
        fmt::print(stderr, "logger_bench: {}\n", opened.peekError());
        Singleton<ILogger>::destroy();
        return std::nullopt;
    }
    std::latch go(1);
    std::chrono::nanoseconds start{};
    std::vector<std::vector<int64_t>> samples(static_cast<size_t>(options.threads));
    std::vector<std::thread> callers;
    for (int t = 0; t < options.threads; ++t) {
        callers.emplace_back([&, t] {
            go.wait();
            callerLoop(t, plan, start, samples[static_cast<size_t>(t)]);
        });
    }
    start = monotonicNow();
    go.count_down();
    for (std::thread& caller : callers) {
        caller.join();
    }
    const auto callersDone = monotonicNow();
    Singleton<ILogger>::destroy();  // the writer takes what is still queued, then both files close
    const auto drained = monotonicNow();

    std::vector<int64_t> calls = merged(samples);
    const LogWriteCounters& counters = storage->counters();
    return RoundResult{std::chrono::duration<double>(callersDone - start).count(),
                       std::chrono::duration<double>(drained - start).count(),
                       static_cast<uint64_t>(plan.linesPerThread) * static_cast<uint64_t>(options.threads),
                       counters.mainLines.load(),
                       counters.verboseLines.load(),
                       counters.flushes.load(),
                       static_cast<double>(counters.flushNanoseconds.load()) / 1e9,
                       percentile(calls, 50),
                       percentile(calls, 99),
                       percentile(calls, 100)};
}

void printRound(const std::string& prefix, int round, const RoundResult& r) {
    const uint64_t dropped = r.offered - r.verboseLines;
    fmt::print(
        "{} round {}: caller median {} ns, p99 {} ns, max {} ns; offered {} lines in {:.3f} s ({:.0f}/s); written {} "
        "main + {} verbose lines, all done after {:.3f} s; dropped {}; {} flushes taking {:.3f} s\n",
        prefix, round, r.callMedianNs, r.callP99Ns, r.callMaxNs, r.offered, r.callerSeconds,
        static_cast<double>(r.offered) / r.callerSeconds, r.mainLines, r.verboseLines, r.drainedSeconds, dropped,
        r.flushes, r.flushSeconds);
}

// One figure per measured value, each the median over the rounds.
void printMedians(const std::string& prefix, const std::vector<RoundResult>& rounds) {
    const auto figure = [&](const char* name, const char* unit, auto value) {
        std::vector<double> values;
        for (const RoundResult& r : rounds) {
            values.push_back(static_cast<double>(value(r)));
        }
        printFigure(prefix + "." + name, median(values), unit);
    };
    figure("caller_median", "ns", [](const RoundResult& r) { return r.callMedianNs; });
    figure("caller_p99", "ns", [](const RoundResult& r) { return r.callP99Ns; });
    figure("caller_max", "ns", [](const RoundResult& r) { return r.callMaxNs; });
    figure("offered_rate", "lines/s", [](const RoundResult& r) { return static_cast<double>(r.offered) / r.callerSeconds; });
    figure("queued_rate", "lines/s", [](const RoundResult& r) { return static_cast<double>(r.verboseLines) / r.drainedSeconds; });
    figure("file_line_rate", "lines/s",
           [](const RoundResult& r) { return static_cast<double>(r.mainLines + r.verboseLines) / r.drainedSeconds; });
    figure("dropped", "lines", [](const RoundResult& r) { return r.offered - r.verboseLines; });
    figure("flush_mean", "us", [](const RoundResult& r) { return r.flushes == 0 ? 0.0 : r.flushSeconds * 1e6 / static_cast<double>(r.flushes); });
    figure("flush_share", "%", [](const RoundResult& r) { return 100.0 * r.flushSeconds / r.drainedSeconds; });
}

int runPhase(const LoggerBenchOptions& options, const std::string& prefix, const CallerPlan& plan) {
    std::vector<RoundResult> rounds;
    for (int round = 1; round <= options.rounds; ++round) {
        std::optional<RoundResult> result = runRound(options, plan);
        if (!result) {
            return 1;
        }
        printRound(prefix, round, *result);
        rounds.push_back(*result);
    }
    printMedians(prefix, rounds);
    return 0;
}

// What timing one call costs by itself, so the caller figures can be read against it.
void printClockOverhead(const std::string& prefix) {
    std::vector<int64_t> pairs(100'000);
    for (int64_t& pair : pairs) {
        const auto before = monotonicNow();
        pair = (monotonicNow() - before).count();
    }
    printFigure(prefix + ".clock_pair", static_cast<double>(percentile(pairs, 50)), "ns");
}

// The writer's work per line and file, in isolation: formatting the line, and one write with the
// position query that follows it on the platform's real storage.
void printWriterBreakdown(const LoggerBenchOptions& options, const std::string& prefix) {
    constexpr int kLines = 20'000;
    const services::logging::LogLine line{"void kvx::bench::probe(int)",
                                          fmt::format("bench-line thread[0] seq[0] path[{}]", kPayloadPath), 1, 3,
                                          foundation::clock().nowNanosecondsSinceEpoch()};
    const ILogger::PersonaeInfo personae;
    size_t formattedBytes = 0;
    const auto formatStart = monotonicNow();
    for (int i = 0; i < kLines; ++i) {
        formattedBytes += services::logging::formatLogLine(1, line, 1234, services::logging::maskPersonae(line.message, personae)).size();
    }
    const auto formatTook = monotonicNow() - formatStart;
    printFigure(prefix + ".writer_format", static_cast<double>(formatTook.count()) / kLines, "ns/line");

    auto opened = benchLogStorage()->openForAppend(options.folder + "\\StorageProbe.log");
    if (opened.isError() || formattedBytes == 0) {
        return;
    }
    std::unique_ptr<services::logging::ILogStream> stream = opened.unwrap();
    const std::string text = services::logging::formatLogLine(1, line, 1234, line.message) + "\n";
    const auto writeStart = monotonicNow();
    for (int i = 0; i < kLines; ++i) {
        stream->write(text);
        (void)stream->position();
    }
    const auto writeTook = monotonicNow() - writeStart;
    printFigure(prefix + ".writer_write_and_position", static_cast<double>(writeTook.count()) / kLines, "ns/line");
}

}  // namespace

int runLoggerBench(const LoggerBenchOptions& options) {
    installBenchThreadPlatform();
    const std::string prefix = fmt::format("logger.{}", benchPlatformName());
    printClockOverhead(prefix);
    printWriterBreakdown(options, prefix);
    const CallerPlan flatOut{options.flatOutLinesPerThread, 1, std::chrono::nanoseconds{0}};
    if (runPhase(options, prefix + ".flat", flatOut) != 0) {
        return 1;
    }
    const int64_t perThreadPerSecond = options.pacedLinesPerSecond / options.threads;
    const CallerPlan paced{perThreadPerSecond * options.pacedSeconds,
                           perThreadPerSecond * kPacingSlot.count() / 1000, kPacingSlot};
    return runPhase(options, prefix + ".paced", paced);
}

}  // namespace kvx::bench
