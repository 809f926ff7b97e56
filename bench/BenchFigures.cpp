#include "BenchFigures.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "foundation/Clock.h"

namespace kvx::bench {

int64_t percentile(std::vector<int64_t>& samples, double p) {
    if (samples.empty()) {
        return 0;
    }
    const auto rank = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(samples.size())));
    const size_t index = std::clamp<size_t>(rank, 1, samples.size()) - 1;
    std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(index), samples.end());
    return samples[index];
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void printFigure(std::string_view name, double value, std::string_view unit) {
    // Large values in full: exponents make the figures harder to read and compare.
    if (std::fabs(value) >= 1e5) {
        fmt::print("figure {} {:.0f} {}\n", name, value, unit);
    } else {
        fmt::print("figure {} {:.6g} {}\n", name, value, unit);
    }
    std::fflush(stdout);
}

std::chrono::nanoseconds monotonicNow() { return foundation::clock().monotonicNow(); }

double secondsNow() { return std::chrono::duration<double>(monotonicNow()).count(); }

}  // namespace kvx::bench
