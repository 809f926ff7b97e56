// The line format, and the threaded logger over in-memory files.
#include "framework/logging/ThreadedLogger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <memory>
#include <thread>

#include "FakeLogStorage.h"
#include "framework/config/ConfigSystem.h"
#include "framework/errors/RecordingSink.h"
#include "framework/logging/LogFormat.h"
#include "support/TestClock.h"

namespace kvx::services::logging {
namespace {

constexpr int64_t kMarch1st2026 = 1'772'323'200'000'000'000;  // 2026-03-01T00:00:00Z

TEST(LogTimestamp, UtcCalendarWithMilliseconds) {
    const int64_t time = kMarch1st2026 + ((17 * 60 + 5) * 60 + 9) * 1'000'000'000LL + 42'999'999;
    EXPECT_EQ(formatUtcTimestamp(time), "2026-03-01T17:05:09.042Z");
    EXPECT_EQ(formatUtcTimestamp(0), "1970-01-01T00:00:00.000Z");
    // Leap day and the last millisecond of a year.
    EXPECT_EQ(formatUtcTimestamp(951'782'400'000'000'000), "2000-02-29T00:00:00.000Z");
    EXPECT_EQ(formatUtcTimestamp(1'767'225'599'999'000'000), "2025-12-31T23:59:59.999Z");
    EXPECT_EQ(formatUtcTimestamp(-1'000'000), "1969-12-31T23:59:59.999Z");
}

// Fields aligned and tab separated; a full signature shows as its qualified name.
TEST(LogLineFormat, FieldsLevelNamesAndQualifiedFunction) {
    const std::tuple<int32_t, const char*, const char*> rows[] = {
        {Info, "kvx::apps::destager::internal::swapFolders",
         "[2026-03-01T00:00:00.000Z]\tPID:   816\tTID:  4242\tINFO    \t"
         "(kvx::apps::destager::internal::swapFolders)\tpath[C:\\x]"},
        {-1, "f", "\tFATAL   \t(f)\tpath[C:\\x]"},
        {Warn, "kvx::Result<void, int> __cdecl kvx::apps::suite::stop(const std::string &, int)",
         "\tWARN    \t(kvx::apps::suite::stop)\tpath[C:\\x]"},
        {Verbose, "f", "\tVERBOSE \t(f)\tpath[C:\\x]"},
        {9, "f", "\t???     \t(f)\tpath[C:\\x]"}};
    for (const auto& [level, function, tail] : rows) {
        const std::string text =
            formatLogLine(2, LogLine{function, "unused", 4242, level, kMarch1st2026}, 816, "path[C:\\x]");
        EXPECT_TRUE(text.starts_with("     2\t") && text.ends_with(tail)) << text;
    }
    // Masking in the files is tested with the logger; these are the cases that could loop for ever.
    EXPECT_EQ(maskPersonae("nothing to hide", {"", ""}), "nothing to hide");
    EXPECT_EQ(maskPersonae("#a#", {"#", ""}), "####a####");
}

TEST(LogFiles, RotationLimitsAndFolderByElevation) {
    EXPECT_FALSE(needsRotation(4'194'304, kMainLogSizeLimit));
    EXPECT_TRUE(needsRotation(4'194'305, kMainLogSizeLimit));
    EXPECT_FALSE(needsRotation(12'582'912, kVerboseLogSizeLimit));
    EXPECT_TRUE(needsRotation(12'582'913, kVerboseLogSizeLimit));
    EXPECT_EQ(logsFolder(true, "C:\\ProgramData", "C:\\Users\\u\\AppData\\Local"),
              "C:\\ProgramData\\Korv Desktop\\Logs");
    EXPECT_EQ(logsFolder(false, "C:\\ProgramData", "C:\\Users\\u\\AppData\\Local"),
              "C:\\Users\\u\\AppData\\Local\\Tessory\\Korv Desktop\\Logs");
}

using test::FakeLogStorage;
using File = FakeLogStorage::File;

const std::string kMain = "D:\\Logs\\KorvDestager.log";
const std::string kVerbose = "D:\\Logs\\KorvDestagerVerbose.log";
const LogPaths kPaths{"D:\\Logs", "KorvDestager"};

size_t countLines(const std::string& text) {
    return static_cast<size_t>(std::ranges::count(text, '\n'));
}
bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

// The message of each line of a log file, each followed by "/"; the blank separator line gives "/".
std::string messages(const std::string& text) {
    std::string result;
    for (size_t begin = 0, end = 0; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
        const size_t tab = text.find_last_of('\t', end);
        const size_t start = tab == std::string::npos || tab < begin ? begin : tab + 1;
        result += text.substr(start, end - start) + "/";
    }
    return result;
}

class ThreadedLoggerTest : public ::testing::Test {
protected:
    std::unique_ptr<ThreadedLogger> openLogger(LogPaths paths = kPaths,
                                               std::chrono::milliseconds idleFlush = std::chrono::hours(1),
                                               const std::string& error = "") {
        auto logger = std::make_unique<ThreadedLogger>(LoggerEnvironment{mStorage, idleFlush, {}});
        auto opened = logger->open(paths);
        EXPECT_EQ(opened.isError() ? opened.peekError() : "", error);
        return logger;
    }
    std::string text(const std::string& path) { return mStorage->file(path).content; }
    // Logs "stall", holds the writer inside that write while `queue` logs, then lets it go.
    void whileStalled(ThreadedLogger& logger, const std::function<void()>& queue) {
        mStorage->hold(true);
        logger.log(Info, "kvx::f", "stall");
        ASSERT_TRUE(mStorage->waitUntil(kMain, [](const File&, int held) { return held > 0; }));
        queue();
        mStorage->hold(false);
    }

    test::ScopedTestClock mClock;
    std::shared_ptr<FakeLogStorage> mStorage = std::make_shared<FakeLogStorage>();
};

// Stamped when queued; empty lines refused; goodbye on closing; personae masked until the switch is set.
TEST_F(ThreadedLoggerTest, LinesAreStampedWhenQueuedAndMaskedUnlessObfuscatorDisabled) {
    test::ScopedAssertCapture asserts;
    mClock->setWallClock(1'772'385'909'042'000'000);  // 2026-03-01T17:25:09.042Z
    for (const bool disabled : {false, true}) {
        if (disabled) {
            foundation::utils::Singleton<config::ConfigSystem>::create().setBool(
                config::Store::Ordinary, "logging.disableObfuscator", true, config::kScopeStatic);
        }
        auto logger = openLogger();
        logger->setPersonaeInfo({"alice", "4711"});
        logger->log(Info, "", "message");
        logger->log(Warn, "kvx::f", fmt::format("run{} user[alice] id[4711] alice", int(disabled)));
        logger->log(Info, "kvx::f", "");
        mClock->advance(std::chrono::hours(24));
    }
    foundation::utils::Singleton<config::ConfigSystem>::destroy();
    ASSERT_EQ(asserts.asserts().size(), 4u);
    EXPECT_EQ(asserts.asserts()[0].message, "Attempted to log empty info  message");
    EXPECT_EQ(asserts.asserts()[0].level, foundation::AssertLevel::Error);
    EXPECT_EQ(messages(text(kMain)),
              "/run0 user[####] id[####] ####/goodbye//run1 user[alice] id[4711] alice/goodbye/");
    EXPECT_TRUE(text(kMain).starts_with("\n     1\t[2026-03-01T17:25:09.042Z]\tPID:")) << text(kMain);
}

struct FailureRow {
    const char* label;
    std::function<void(FakeLogStorage&)> beforeOpening;
    std::function<void(File& main)> whileHeld;  // set with the writer held, so the lines share one pass
    std::string telemetry;                      // the events' texts, joined by line feeds
    std::string mainMessages;                   // as messages() gives them
    uint64_t mainLimit = kMainLogSizeLimit;
    std::string openError = "";
    std::string backupMessages = "";
    int backupWrites = 0;  // a held pass goes out in one write
};

// A pass's bytes count towards the limit within the pass. A full disk loses only the line that did not
// fit; another write error disables the file; a failed rotation goes on in the file.
TEST_F(ThreadedLoggerTest, RotationAndFailuresAreReportedAndTheFilesGoOnOrStop) {
    const std::string big(1000, 'x');
    const FailureRow rows[] = {
        {"disk full", nullptr, [](File& main) { main.capacity = main.content.size() + 400; }, "",
         "/stall/a/b/goodbye/"},
        {"write error", nullptr, [](File& main) { main.nextWriteError = kErrnoIo; },
         "diags.logs.erro Failed to get stream offset after write: rdState=[1] errno=[5]", "/"},
        {"rename refused",
         [](FakeLogStorage& storage) {
             storage.renameError = FakeLogStorage::RenameError{32, "The process cannot access the file"};
             storage.holders = {"KorvDesktop.exe"};
         },
         nullptr,
         "diags.logs.erro Failed to rename log file err=[32] strerr=[The process cannot access the file]\n"
         "diags.logs.erro Failed to rename log locked process=[KorvDesktop.exe]",
         "/stall/a/" + big + "/b/goodbye/", 200},
        {"verbose refused", [](FakeLogStorage& storage) { storage.openErrors[kVerbose] = 13; }, nullptr, "",
         "/stall/a/" + big + "/b/goodbye/", kMainLogSizeLimit,
         "Could not open log file (logging disabled): path=[D:\\Logs\\KorvDestagerVerbose.log] errno[13]"},
        {"pass over the limit", nullptr, nullptr, "", "b/goodbye/", 300, "", "/stall/a/" + big + "/", 3}};
    for (const FailureRow& row : rows) {
        SCOPED_TRACE(row.label);
        test::ScopedRecordingSink sink;
        mStorage = std::make_shared<FakeLogStorage>();
        if (row.beforeOpening) {
            row.beforeOpening(*mStorage);
        }
        auto logger = openLogger({"D:\\Logs", "KorvDestager", row.mainLimit, kVerboseLogSizeLimit},
                                 std::chrono::hours(1), row.openError);
        whileStalled(*logger, [&] {
            if (row.whileHeld) {
                mStorage->change([&](auto& files) { row.whileHeld(files[kMain]); });
            }
            for (const std::string& message : {std::string("a"), big, std::string("b")}) {
                logger->log(Info, "kvx::f", message);
            }
        });
        logger.reset();
        EXPECT_EQ(fmt::format("{}", fmt::join(sink->texts(), "\n")), row.telemetry);
        EXPECT_EQ(messages(text(kMain)), row.mainMessages);
        const File backup = mStorage->file("D:\\Logs\\KorvDestager.bak");
        EXPECT_EQ(std::pair(messages(backup.content), backup.writes),
                  std::pair(row.backupMessages, row.backupWrites));
    }
}

// Callers never wait for a writer stuck in a write; every line arrives in order, up to 1,025 pending.
// Closing clears the enabled flag before it waits for the writer, so a later line is not queued.
TEST_F(ThreadedLoggerTest, CallersReturnWhileTheWriterIsStuckAndLinesAfterClosingBeganAreRefused) {
    auto logger = openLogger();
    ThreadedLogger* const closingLogger = logger.get();  // alive until its writer is let go
    std::thread closing;
    whileStalled(*logger, [&] {
        std::vector<std::future<void>> callers;
        for (int t = 0; t < 4; ++t) {
            callers.push_back(std::async(std::launch::async, [&logger, t] {
                for (int i = 0; i < 250; ++i) {
                    logger->log(Verbose, "kvx::f", fmt::format("t{}[{}]", t, i));
                }
                logger->flush();
            }));
        }
        for (auto& caller : callers) {
            ASSERT_EQ(caller.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        }
        for (int i = 1001; i <= 1026; ++i) {
            logger->log(Verbose, "kvx::f", fmt::format("queued[{}]", i));
        }
        closing = std::thread([&logger] { logger.reset(); });
        while (closingLogger->isEnabled()) {
            std::this_thread::yield();
        }
        closingLogger->log(Info, "kvx::f", "late");
    });
    closing.join();
    const std::string verbose = text(kVerbose);
    EXPECT_EQ(countLines(verbose), 1u + 1u + 1025u + 1u);
    EXPECT_LT(verbose.find("t2[10]"), verbose.find("t2[11]"));
    EXPECT_TRUE(contains(verbose, "\tqueued[1025]\n"));
    EXPECT_FALSE(contains(verbose, "queued[1026]"));
    EXPECT_FALSE(contains(text(kMain) + verbose, "late"));
}

// The writer flushes after 512 lines, when asked, and when no line came for the idle interval.
TEST_F(ThreadedLoggerTest, FlushesAfter512LinesOnRequestOrWhenIdle) {
    auto logger = openLogger();
    for (int i = 0; i < 511; ++i) {
        logger->log(Verbose, "kvx::f", "m");
    }
    ASSERT_TRUE(
        mStorage->waitUntil(kVerbose, [](const File& f, int) { return countLines(f.content) >= 512; }));
    EXPECT_EQ(mStorage->file(kVerbose).flushes, 1);  // the one of opening
    logger->log(Verbose, "kvx::f", "m");
    EXPECT_TRUE(mStorage->waitUntil(kVerbose, [](const File& f, int) { return f.flushes == 2; }));
    logger->flush();
    EXPECT_TRUE(mStorage->waitUntil(kVerbose, [](const File& f, int) { return f.flushes == 3; }));
    logger = openLogger(kPaths, std::chrono::milliseconds(1));
    const int opened = mStorage->file(kVerbose).flushes;
    logger->log(Verbose, "kvx::f", "m");
    EXPECT_TRUE(mStorage->waitUntil(kVerbose, [opened](const File& f, int) { return f.flushes > opened; }));
}

}  // namespace
}  // namespace kvx::services::logging
