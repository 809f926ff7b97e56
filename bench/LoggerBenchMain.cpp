// logger_bench FOLDER [ROUNDS [THREADS]]: logs from several threads (four unless told) into
// FOLDER\KorvDestager*.log and prints figures.

#include <algorithm>
#include <cstdlib>

#include <fmt/format.h>

#include "LoggerBench.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        fmt::print(stderr, "usage: logger_bench FOLDER [ROUNDS [THREADS]]\n");
        return 2;
    }
    kvx::bench::LoggerBenchOptions options;
    options.folder = argv[1];
    if (argc > 2) {
        options.rounds = std::max(1, std::atoi(argv[2]));
    }
    if (argc > 3) {
        options.threads = std::max(1, std::atoi(argv[3]));
    }
    return kvx::bench::runLoggerBench(options);
}
