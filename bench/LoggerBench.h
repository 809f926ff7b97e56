#pragma once
// Caller cost and write throughput of the threaded logger with several threads logging at once.
// The scenario is portable; each build supplies the file storage and thread platform it runs on.

#include <memory>
#include <string>

#include "framework/logging/LogStorage.h"

namespace kvx::bench {

struct LoggerBenchOptions {
    std::string folder;
    int rounds = 3;
    int threads = 4;
    int flatOutLinesPerThread = 50'000;
    int pacedLinesPerSecond = 200'000;
    int pacedSeconds = 2;
};

// Provided once per build: the real log storage of that platform, the thread platform the
// program installs, and the platform's name in figure names.
std::shared_ptr<services::logging::ILogStorage> benchLogStorage();
void installBenchThreadPlatform();
const char* benchPlatformName();

// Prints the figures; non-zero when the logger could not be opened.
int runLoggerBench(const LoggerBenchOptions& options);

}  // namespace kvx::bench
