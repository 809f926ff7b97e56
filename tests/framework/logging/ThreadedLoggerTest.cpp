#include "framework/logging/ThreadedLogger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "FakeLogStorage.h"
#include "framework/config/ConfigSystem.h"
#include "framework/errors/RecordingSink.h"
#include "support/TestClock.h"

namespace kvx::services::logging {
namespace {

using test::FakeLogStorage;
using Texts = std::vector<std::string>;

const std::string kMain = "D:\\Logs\\KorvDestager.log";
const std::string kVerbose = "D:\\Logs\\KorvDestagerVerbose.log";

size_t countLines(const std::string& text) {
    return static_cast<size_t>(std::ranges::count(text, '\n'));
}
bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

class ThreadedLoggerTest : public ::testing::Test {
protected:
    std::unique_ptr<ThreadedLogger> openLogger(LogPaths paths = {"D:\\Logs", "KorvDestager"},
                                               std::chrono::milliseconds idleFlush = std::chrono::hours(1)) {
        auto logger = std::make_unique<ThreadedLogger>(LoggerEnvironment{mStorage, idleFlush, {}});
        EXPECT_TRUE(logger->open(paths).isOk());
        return logger;
    }
    std::string text(const std::string& path) { return mStorage->file(path).content; }
    bool waitFor(const std::string& path, std::string_view part) {
        return mStorage->waitForFile(path, [part](const auto& f) { return contains(f.content, part); });
    }
    // Logs "stall", holds the writer inside that write while `queue` logs, then lets it go.
    void whileStalled(ThreadedLogger& logger, const std::function<void()>& queue) {
        mStorage->setStalled(true);
        logger.log(Info, "kvx::f", "stall");
        ASSERT_TRUE(mStorage->waitUntilWriterStalled());
        queue();
        mStorage->setStalled(false);
    }

    test::ScopedTestClock mClock;
    std::shared_ptr<FakeLogStorage> mStorage = std::make_shared<FakeLogStorage>();
    test::ScopedRecordingSink mSink;
};

TEST_F(ThreadedLoggerTest, LevelsChooseTheFilesAndTheTimeIsTakenWhenQueued) {
    auto logger = openLogger();
    EXPECT_TRUE(logger->isEnabled());
    logger->log(Debug, "void kvx::a::debugOnly()", "detail[1]");
    logger->log(Info, "kvx::a::both", "info[2]");
    logger->log(9, "kvx::a::odd", "odd[3]");
    mClock->setWallClock(1'772'385'909'042'000'000);  // 2026-03-01T17:25:09.042Z
    logger->log(Warn, "kvx::f", "m");
    mClock->advance(std::chrono::hours(24));
    logger.reset();

    const std::string main = text(kMain);
    const std::string verbose = text(kVerbose);
    EXPECT_FALSE(contains(main, "detail[1]"));
    EXPECT_TRUE(contains(verbose, "\tDEBUG   \t(kvx::a::debugOnly)\tdetail[1]\n"));
    EXPECT_TRUE(contains(main, "\tINFO    \t(kvx::a::both)\tinfo[2]\n"));
    EXPECT_TRUE(contains(verbose, "info[2]"));
    EXPECT_TRUE(contains(verbose, "\t???     \t(kvx::a::odd)\todd[3]\n"));
    EXPECT_TRUE(contains(main, "[2026-03-01T17:25:09.042Z]"));
    // Opening separates runs with a blank line; closing says goodbye.
    EXPECT_EQ(main.rfind("\n     1\t[2026-01-01T00:00:00.000Z]\tPID:", 0), 0u) << main;
    EXPECT_TRUE(main.ends_with("\ngoodbye\n"));
    EXPECT_TRUE(verbose.ends_with("\ngoodbye\n"));
    EXPECT_FALSE(mStorage->file(kMain).open);
}

TEST_F(ThreadedLoggerTest, PersonaeMaskedUnlessObfuscatorDisabled) {
    // First with no configuration at all, then with the switch set.
    for (const bool disabled : {false, true}) {
        if (disabled) {
            foundation::utils::Singleton<config::ConfigSystem>::create().setBool(
                config::Store::Ordinary, "logging.disableObfuscator", true, config::kScopeStatic);
        }
        auto logger = openLogger();
        logger->setPersonaeInfo({"alice", "4711"});
        logger->log(Info, "kvx::f", fmt::format("run{} user[alice] id[4711] alice", int(disabled)));
    }
    foundation::utils::Singleton<config::ConfigSystem>::destroy();
    EXPECT_TRUE(contains(text(kMain), "\trun0 user[####] id[####] ####\n"));
    EXPECT_TRUE(contains(text(kMain), "\trun1 user[alice] id[4711] alice\n"));
}

TEST_F(ThreadedLoggerTest, RotatesToBackupAndCountsParts) {
    auto logger = openLogger({"D:\\Logs", "KorvDestager", 300, 100'000});
    for (int i = 0; i < 4; ++i) {
        logger->log(Info, "kvx::f", fmt::format("line[{}] {}", i, std::string(60, 'x')));
    }
    logger.reset();
    const std::string backup = text("D:\\Logs\\KorvDestager.bak");
    // Each line is 143 bytes: the file passes 300 bytes with the third line, so the fourth starts part 2.
    EXPECT_TRUE(contains(backup, "line[2]"));
    EXPECT_FALSE(contains(backup, "line[3]"));
    EXPECT_EQ(text(kMain).rfind("     2\t", 0), 0u) << text(kMain);
    EXPECT_TRUE(contains(text(kMain), "line[3]"));
    EXPECT_FALSE(mStorage->exists("D:\\Logs\\KorvDestagerVerbose.bak"));
    EXPECT_TRUE(mSink->events().empty());
}

TEST_F(ThreadedLoggerTest, FailedRotationIsReportedAndTheFileGoesOn) {
    mStorage->refuseRename({32, "The process cannot access the file"}, {"KorvDesktop.exe"});
    auto logger = openLogger({"D:\\Logs", "KorvDestager", 10, 100'000});
    logger->log(Info, "kvx::f", "first");
    logger->log(Info, "kvx::f", "second");
    logger.reset();
    EXPECT_EQ(
        mSink->texts(),
        (Texts{
            "diags.logs.erro Failed to rename log file err=[32] strerr=[The process cannot access the file]",
            "diags.logs.erro Failed to rename log locked process=[KorvDesktop.exe]"}));
    EXPECT_TRUE(contains(text(kMain), "     2\t"));
    EXPECT_TRUE(contains(text(kMain), "second"));
}

// A full disk loses the line that did not fit, not the rest of its pass (which is written again line
// by line) nor later ones; any other write error disables the file.
TEST_F(ThreadedLoggerTest, FullDiskLosesOnlyTheLineThatDidNotFitElseTheFileIsDisabled) {
    const std::string big(1000, 'x');
    const std::tuple<int, bool, Texts> rows[] = {
        {kErrnoNoSpace, true, {}},
        {kErrnoIo,
         false,
         {"diags.logs.erro Failed to get stream offset after write: rdState=[1] errno=[5]"}}};
    for (const auto& [error, goesOn, events] : rows) {
        SCOPED_TRACE(error);
        mStorage = std::make_shared<FakeLogStorage>();
        auto logger = openLogger();
        whileStalled(*logger, [&] {
            if (error == kErrnoNoSpace) {
                // Room for "stall", the short lines, "after" and "goodbye" (about 80 bytes each).
                mStorage->limitRoom(kMain, 400);
            } else {
                mStorage->failNextWrite(kMain, error);
            }
            for (const std::string& message : {std::string("a"), big, std::string("b")}) {
                logger->log(Info, "kvx::f", message);
            }
        });
        // The verbose file is written first in a pass: "after" is sure to come in a later one.
        ASSERT_TRUE(waitFor(kVerbose, "\tb\n"));
        logger->log(Info, "kvx::f", "after");
        logger.reset();
        const std::string main = text(kMain);
        EXPECT_FALSE(contains(main, "xxxxxxxxxx"));
        for (const char* kept : {"\ta\n", "\tb\n", "\tafter\n"}) {
            EXPECT_EQ(contains(main, kept), goesOn) << kept << main;
        }
        EXPECT_EQ(main.ends_with("goodbye\n"), goesOn);
        EXPECT_TRUE(contains(text(kVerbose), "\tafter\n"));
        EXPECT_EQ(mSink->texts(), events);
    }
}

// Lines queued while the writer is stalled go out in one write per file; the bytes of that pass
// count towards the limit, so the pass itself rotates once the file passes it.
TEST_F(ThreadedLoggerTest, APassIsOneWriteAndItsBytesCountForRotation) {
    auto logger = openLogger({"D:\\Logs", "KorvDestager", 100'000, 300});
    whileStalled(*logger, [&] {
        for (int i = 0; i < 4; ++i) {
            logger->log(Verbose, "kvx::f", fmt::format("line[{}] {}", i, std::string(60, 'x')));
        }
    });
    logger.reset();
    const auto backup = mStorage->file("D:\\Logs\\KorvDestagerVerbose.bak");
    const auto current = mStorage->file(kVerbose);
    // Separator and "stall" take 81 bytes, each line 143: the file passes 300 bytes with line[1].
    EXPECT_TRUE(contains(backup.content, "line[1]"));
    EXPECT_FALSE(contains(backup.content, "line[2]"));
    EXPECT_EQ(current.content.rfind("     2\t", 0), 0u) << current.content;
    EXPECT_TRUE(contains(current.content, "line[3]"));
    EXPECT_EQ(backup.writes, 3);   // separator, "stall", line[0] and line[1]
    EXPECT_EQ(current.writes, 2);  // line[2] and line[3], "goodbye"
}

TEST_F(ThreadedLoggerTest, LineBeyond1025PendingIsDropped) {
    auto logger = openLogger();
    whileStalled(*logger, [&] {
        for (int i = 1; i <= 1026; ++i) {
            logger->log(Verbose, "kvx::f", fmt::format("queued[{}]", i));
        }
    });
    logger.reset();
    const std::string verbose = text(kVerbose);
    EXPECT_TRUE(contains(verbose, "\tqueued[1025]\n"));
    EXPECT_FALSE(contains(verbose, "queued[1026]"));
    EXPECT_EQ(countLines(verbose), 1u + 1u + 1025u + 1u);
}

TEST_F(ThreadedLoggerTest, FlushesAfter512LinesOrWhenIdle) {
    auto logger = openLogger();
    for (int i = 0; i < 511; ++i) {
        logger->log(Verbose, "kvx::f", "m");
    }
    ASSERT_TRUE(mStorage->waitForFile(kVerbose, [](const auto& f) { return countLines(f.content) >= 512; }));
    EXPECT_EQ(mStorage->file(kVerbose).flushes, 1);  // the one of opening
    logger->log(Verbose, "kvx::f", "m");
    EXPECT_TRUE(mStorage->waitForFile(kVerbose, [](const auto& f) { return f.flushes == 2; }));
    logger.reset();

    logger = openLogger({"D:\\Logs", "KorvDestager"}, std::chrono::milliseconds(1));
    const int opened = mStorage->file(kVerbose).flushes;
    logger->log(Verbose, "kvx::f", "m");
    EXPECT_TRUE(mStorage->waitForFile(kVerbose, [opened](const auto& f) { return f.flushes > opened; }));
}

TEST_F(ThreadedLoggerTest, EmptyFunctionOrMessageIsRefused) {
    test::ScopedAssertCapture asserts;
    auto logger = openLogger();
    logger->log(Info, "", "message");
    logger->log(Info, "kvx::f", "");
    logger.reset();
    ASSERT_EQ(asserts.asserts().size(), 2u);
    EXPECT_EQ(asserts.asserts()[0].message, "Attempted to log empty info  message");
    EXPECT_EQ(asserts.asserts()[0].level, foundation::AssertLevel::Error);
    EXPECT_EQ(countLines(text(kVerbose)), 2u);  // blank line and goodbye
}

// Closing clears the enabled flag before it waits for the writer: a line that comes later is refused
// rather than queued into a logger on its way out.
TEST_F(ThreadedLoggerTest, LinesAfterClosingBeganAreRefused) {
    auto logger = openLogger();
    ThreadedLogger* const closingLogger = logger.get();  // alive until its writer is let go
    std::thread closing;
    whileStalled(*logger, [&] {
        closing = std::thread([&logger] { logger.reset(); });
        while (closingLogger->isEnabled()) {
            std::this_thread::yield();
        }
        closingLogger->log(Info, "kvx::f", "late");
    });
    closing.join();
    EXPECT_TRUE(contains(text(kMain), "\tstall\n"));
    EXPECT_FALSE(contains(text(kMain), "late"));
    EXPECT_FALSE(contains(text(kVerbose), "late"));
}

TEST_F(ThreadedLoggerTest, OpeningFailures) {
    ThreadedLogger unopened(LoggerEnvironment{mStorage, std::chrono::hours(1), {}});
    EXPECT_FALSE(unopened.isEnabled());
    EXPECT_EQ(unopened.open({"", "KorvDestager"}).peekError(),
              "Invalid log paths dir=[] filename=[KorvDestager]");

    mStorage->refuseOpen(kVerbose, 13);
    auto logger = std::make_unique<ThreadedLogger>(LoggerEnvironment{mStorage, std::chrono::hours(1), {}});
    EXPECT_EQ(
        logger->open({"D:\\Logs", "KorvDestager"}).peekError(),
        "Could not open log file (logging disabled): path=[D:\\Logs\\KorvDestagerVerbose.log] errno[13]");
    EXPECT_TRUE(logger->isEnabled());  // the main file still works
    logger->log(Info, "kvx::f", "still here");
    logger.reset();
    EXPECT_TRUE(contains(text(kMain), "still here"));
    EXPECT_EQ(mStorage->folders(), Texts{"D:\\Logs"});

    mStorage->refuseFolder("5: Access is denied.");
    ThreadedLogger noFolder(LoggerEnvironment{mStorage, std::chrono::hours(1), {}});
    EXPECT_EQ(noFolder.open({"D:\\Logs", "KorvDestager"}).peekError(),
              "Could not create directory=[D:\\Logs] err=[5: Access is denied.]");
    EXPECT_FALSE(noFolder.isEnabled());
}

TEST_F(ThreadedLoggerTest, LinesFromManyThreadsAllArrive) {
    auto logger = openLogger();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&logger, t] {
            for (int i = 0; i < 100; ++i) {
                logger->log(Verbose, "kvx::f", fmt::format("t{}[{}]", t, i));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    logger.reset();
    const std::string verbose = text(kVerbose);
    EXPECT_EQ(countLines(verbose), 402u);
    // One thread's lines keep their order.
    EXPECT_LT(verbose.find("t2[10]"), verbose.find("t2[11]"));
}

}  // namespace
}  // namespace kvx::services::logging
