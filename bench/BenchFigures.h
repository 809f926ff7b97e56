#pragma once
// What every benchmark prints: one "figure <name> <value> <unit>" line per measured value, which
// bench/run collects, and the order statistics those values are taken from.

#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kvx::bench {

// Nearest-rank percentile (0 < p <= 100) of the samples; 0 when there are none. Reorders them.
int64_t percentile(std::vector<int64_t>& samples, double p);
double median(std::vector<double> values);

void printFigure(std::string_view name, double value, std::string_view unit);

// Monotonic time through the program's clock, as seconds since an arbitrary start.
double secondsNow();
std::chrono::nanoseconds monotonicNow();

// User plus kernel time of this process so far, in seconds; one implementation per platform.
double processCpuSeconds();

}  // namespace kvx::bench
