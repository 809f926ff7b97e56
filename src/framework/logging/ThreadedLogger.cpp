#include "framework/logging/ThreadedLogger.h"

#include <optional>

#include <fmt/format.h>

#include "foundation/Assert.h"
#include "foundation/Clock.h"
#include "framework/workqueue/NamedThread.h"

namespace kvx::services::logging {
namespace {

size_t personaeHash(const ILogger::PersonaeInfo& info) {
    return std::hash<std::string>{}(fmt::format("{}\n{}", info.first, info.second));
}

// A line's text after its part number, formatted at most once per masking choice.
class LineBodies {
public:
    LineBodies(const LogLine& line, uint32_t processId, const ILogger::PersonaeInfo& personae)
        : mLine(line), mProcessId(processId), mPersonae(personae) {}

    const std::string& get(bool masked) {
        const bool maskChangesText = masked && (!mPersonae.first.empty() || !mPersonae.second.empty());
        std::optional<std::string>& body = maskChangesText ? mMasked : mPlain;
        if (!body) {
            body = maskChangesText
                       ? formatLogLineBody(mLine, mProcessId, maskPersonae(mLine.message, mPersonae))
                       : formatLogLineBody(mLine, mProcessId, mLine.message);
        }
        return *body;
    }

private:
    const LogLine& mLine;
    const uint32_t mProcessId;
    const ILogger::PersonaeInfo& mPersonae;
    std::optional<std::string> mMasked;
    std::optional<std::string> mPlain;
};

}  // namespace

ThreadedLogger::ThreadedLogger(LoggerEnvironment environment)
    : mEnvironment(std::move(environment)),
      mProcessId(threadPlatform().currentProcessId()),
      mMainFile(*mEnvironment.storage),
      mVerboseFile(*mEnvironment.storage) {
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
        return Err{
            fmt::format("Could not create directory=[{}] err=[{}]", paths.folder, created.peekError())};
    }
    // Each file reads the setting itself, as the setting may change between the two.
    auto mainOpened = mMainFile.open(mainLogPath(paths.folder, paths.fileName), paths.mainSizeLimit,
                                     !mEnvironment.obfuscatorDisabled());
    auto verboseOpened = mVerboseFile.open(verboseLogPath(paths.folder, paths.fileName),
                                           paths.verboseSizeLimit, !mEnvironment.obfuscatorDisabled());
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
    // Once closing began no writer takes lines any more; a caller that checked isEnabled just before
    // must not queue into a logger on its way out.
    if (!mEnabled) {
        return;
    }
    if (function.empty() || message.empty()) {
        KVX_ASSERT_ALWAYS(foundation::AssertLevel::Error, "Attempted to log empty info {} {}", function,
                          message);
        return;
    }
    // Full queue: the line is dropped; the writer catches up and later lines get through.
    const size_t pending = mPending.tryAppend(LogLine{std::string(function), std::string(message),
                                                      threadPlatform().currentThreadId(), level,
                                                      foundation::clock().nowNanosecondsSinceEpoch()});
    // A writer with lines still pending is awake already; waking it per line is costly under Wine.
    if (pending == 1 || pending == kFlushAfterLines) {
        wakeWriter();
    }
}

void ThreadedLogger::flush() {
    // The files belong to the writer, which may sit in a write for as long as the disk takes.
    mFlushRequested = true;
    wakeWriter();
}

void ThreadedLogger::flushFiles() {
    mMainFile.flush();
    mVerboseFile.flush();
    mUnflushedLines = 0;
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
        mPending.takeAll(mTaken);
        writeLines(mTaken);
        flushWhenIdle = flushWhenIdle || !mTaken.empty();
        if (mFlushRequested.exchange(false)) {
            flushFiles();
        }
    }
    // Lines queued before closing began still reach the files.
    refreshPersonae();
    mPending.takeAll(mTaken);
    writeLines(mTaken);
    mTaken.clear();
}

void ThreadedLogger::waitForLines(bool& flushWhenIdle) {
    std::unique_lock lock(mWakeMutex);
    const auto ready = [this] { return !mEnabled || mFlushRequested || !mPending.empty(); };
    if (flushWhenIdle) {
        if (mWake.wait_for(lock, mEnvironment.idleFlushInterval, ready)) {
            return;
        }
        lock.unlock();
        flushFiles();
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

void ThreadedLogger::addLine(const LogLine& line) {
    LineBodies bodies(line, mProcessId, mAppliedPersonae);
    if (mVerboseFile.isEnabled()) {
        mVerboseFile.add(bodies.get(mVerboseFile.masksPersonalData()));
    }
    if (line.level < Debug && mMainFile.isEnabled()) {
        mMainFile.add(bodies.get(mMainFile.masksPersonalData()));
    }
}

void ThreadedLogger::writeLines(const std::vector<LogLine>& lines) {
    for (const LogLine& line : lines) {
        addLine(line);
    }
    mVerboseFile.writeOut();
    mMainFile.writeOut();
    if (mUnflushedLines.fetch_add(static_cast<uint32_t>(lines.size())) + lines.size() >= kFlushAfterLines) {
        flushFiles();
    }
}

}  // namespace kvx::services::logging
