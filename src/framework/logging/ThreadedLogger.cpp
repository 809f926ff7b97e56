#include "framework/logging/ThreadedLogger.h"

#include <fmt/format.h>

#include "foundation/Assert.h"
#include "foundation/Clock.h"
#include "framework/workqueue/NamedThread.h"

namespace kvx::services::logging {
namespace {

size_t personaeHash(const ILogger::PersonaeInfo& info) {
    return std::hash<std::string>{}(fmt::format("{}\n{}", info.first, info.second));
}

}  // namespace

ThreadedLogger::ThreadedLogger(LoggerEnvironment environment)
    : mEnvironment(std::move(environment)),
      mMainFile(*mEnvironment.storage, threadPlatform().currentProcessId()),
      mVerboseFile(*mEnvironment.storage, threadPlatform().currentProcessId()) {
    if (!mEnvironment.obfuscatorDisabled) {
        mEnvironment.obfuscatorDisabled = obfuscatorDisabledByConfig;
    }
}

ThreadedLogger::~ThreadedLogger() {
    mEnabled = false;
    wakeWriter();
    if (mWriter.joinable()) {
        mWriter.join();
    }
    mMainFile.close();
    mVerboseFile.close();
}

Result<void, std::string> ThreadedLogger::open(const LogPaths& paths) {
    if (paths.folder.empty() || paths.fileName.empty()) {
        return Err{fmt::format("Invalid log paths dir=[{}] filename=[{}]", paths.folder, paths.fileName)};
    }
    mFolder = paths.folder;
    auto created = mEnvironment.storage->createDirectories(paths.folder);
    if (created.isError()) {
        return Err{fmt::format("Could not create directory=[{}] err=[{}]", paths.folder, created.peekError())};
    }
    // Each file reads the setting itself, as the setting may change between the two.
    auto mainOpened = mMainFile.open(mainLogPath(paths.folder, paths.fileName), paths.mainSizeLimit,
                                     !mEnvironment.obfuscatorDisabled());
    auto verboseOpened = mVerboseFile.open(verboseLogPath(paths.folder, paths.fileName), paths.verboseSizeLimit,
                                           !mEnvironment.obfuscatorDisabled());
    if (mMainFile.isEnabled() || mVerboseFile.isEnabled()) {
        mEnabled = true;
        auto writer = makeNamedThread("logger", [this] { writerLoop(); });
        if (writer.isError()) {
            mEnabled = false;
            return Err{writer.unwrapError()};
        }
        mWriter = writer.unwrap();
    }
    if (mainOpened.isError()) {
        return mainOpened;
    }
    return verboseOpened;
}

void ThreadedLogger::setPersonaeInfo(const PersonaeInfo& info) {
    auto personae = mPersonae.checkedValue();
    *personae = info;
    mPersonaeHash = personaeHash(info);
}

void ThreadedLogger::log(int32_t level, std::string_view function, std::string_view message) {
    if (function.empty() || message.empty()) {
        KVX_ASSERT_ALWAYS(foundation::AssertLevel::Error, "Attempted to log empty info {} {}", function, message);
        return;
    }
    // Full queue: the line is dropped; the writer catches up and later lines get through.
    mPending.tryAppend(LogLine{std::string(function), std::string(message), threadPlatform().currentThreadId(), level,
                               foundation::clock().nowNanosecondsSinceEpoch()});
    wakeWriter();
}

void ThreadedLogger::flush() {
    mMainFile.flush();
    mVerboseFile.flush();
}

void ThreadedLogger::wakeWriter() {
    std::lock_guard lock(mWakeMutex);
    mWake.notify_all();
}

void ThreadedLogger::writerLoop() {
    bool flushWhenIdle = false;
    while (mEnabled) {
        waitForLines(flushWhenIdle);
        refreshPersonae();
        const std::vector<LogLine> lines = mPending.takeAll();
        writeLines(lines);
        flushWhenIdle = flushWhenIdle || !lines.empty();
    }
    // Lines queued before closing began still reach the files.
    refreshPersonae();
    writeLines(mPending.takeAll());
}

void ThreadedLogger::waitForLines(bool& flushWhenIdle) {
    std::unique_lock lock(mWakeMutex);
    const auto ready = [this] { return !mEnabled || !mPending.empty(); };
    if (flushWhenIdle) {
        if (mWake.wait_for(lock, mEnvironment.idleFlushInterval, ready)) {
            return;
        }
        lock.unlock();
        flush();
        mUnflushedLines = 0;
        flushWhenIdle = false;
        lock.lock();
    }
    mWake.wait(lock, ready);
}

void ThreadedLogger::refreshPersonae() {
    const size_t current = mPersonaeHash.load();
    if (current == mAppliedPersonaeHash) {
        return;
    }
    mAppliedPersonae = *mPersonae.checkedValue();
    mAppliedPersonaeHash = current;
}

void ThreadedLogger::writeLines(const std::vector<LogLine>& lines) {
    for (const LogLine& line : lines) {
        mVerboseFile.write(line, mAppliedPersonae);
        if (line.level < Debug) {
            mMainFile.write(line, mAppliedPersonae);
        }
    }
    if (mUnflushedLines.fetch_add(static_cast<uint32_t>(lines.size())) + lines.size() >= kFlushAfterLines) {
        flush();
        mUnflushedLines = 0;
    }
}

}  // namespace kvx::services::logging
