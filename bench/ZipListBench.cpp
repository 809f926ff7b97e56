// zip_list_bench ZIP [REPEATS]: lists the archive's central directory with the program's reader,
// its byte ranges read from the file, and prints the time one listing takes.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include <fmt/format.h>

#include "BenchFigures.h"
#include "foundation/archive/ZipCentralDirectory.h"

namespace {

using namespace kvx;

constexpr uint64_t kMinimumTailLength = 16'384;

// Entry count, or nothing when the archive could not be listed. Opening the file is part of it.
std::optional<size_t> listArchive(const std::filesystem::path& zip) {
    std::error_code error;
    const uint64_t size = std::filesystem::file_size(zip, error);
    std::ifstream file(zip, std::ios::binary);
    if (error || !file) {
        return std::nullopt;
    }
    const archive::RangeReadFunction readRange =
        [&](const std::string&, const archive::FileOffsets& range) -> Result<std::vector<uint8_t>, archive::FileRangeError> {
        if (range.first > range.last || range.last >= size) {
            return Err{archive::FileRangeError{"range outside the file"}};
        }
        std::vector<uint8_t> bytes(range.last - range.first + 1);
        file.seekg(static_cast<std::streamoff>(range.first));
        if (!file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
            return Err{archive::FileRangeError{"short read"}};
        }
        return Ok{std::move(bytes)};
    };
    auto entries = archive::listZipEntries(readRange, archive::ZipArchiveDescription{"", size, kMinimumTailLength});
    if (entries.isError()) {
        fmt::print(stderr, "zip_list_bench: {}\n", entries.peekError().message);
        return std::nullopt;
    }
    return entries.peek().size();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fmt::print(stderr, "usage: zip_list_bench ZIP [REPEATS]\n");
        return 2;
    }
    const std::filesystem::path zip = argv[1];
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::optional<size_t> count = listArchive(zip);  // warms the cache; not timed
    if (!count) {
        return 1;
    }
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < repeats; ++i) {
        const double wallBefore = bench::secondsNow();
        const double cpuBefore = bench::processCpuSeconds();
        count = listArchive(zip);
        cpu.push_back((bench::processCpuSeconds() - cpuBefore) * 1000);
        wall.push_back((bench::secondsNow() - wallBefore) * 1000);
        if (!count) {
            return 1;
        }
        fmt::print("zip listing {}: {} entries in {:.2f} ms, cpu {:.2f} ms\n", i + 1, *count, wall.back(), cpu.back());
    }
    bench::printFigure("zip.entries", static_cast<double>(*count), "entries");
    bench::printFigure("zip.list", bench::median(wall), "ms");
    bench::printFigure("zip.list_cpu", bench::median(cpu), "ms");
    return 0;
}
