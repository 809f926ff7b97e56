#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "destager/StagedFileValidation.h"
#include "destager/TelemetryRecordDecoding.h"
#include "foundation/Singleton.h"
#include "foundation/archive/ZipTestArchive.h"
#include "framework/config/ConfigSystem.h"
#include "framework/workqueue/WorkQueueSystem.h"
#include "framework/workqueue/WorkerThreadManager.h"
#include "support/Capture.h"
#include "support/TestClock.h"

namespace kvx::apps {
namespace {

namespace stdfs = std::filesystem;
using config::ConfigSystem;
using foundation::utils::Singleton;
using test::TestZipEntry;

// Validation with the "global-io" queue served by workers must log and record exactly what the
// same validation on the caller's thread alone does, in the same order.
class StagedFileValidationQueueTest : public ::testing::Test {
protected:
    StagedFileValidationQueueTest()
        : mInstall(stdfs::temp_directory_path() /
                   ("kvx-validation-queue-" + std::to_string(GetCurrentProcessId()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name())),
          mStaged(mInstall / "StagedKorvDesktop"),
          mZip(mInstall / "StagedKorvDesktop.zip") {
        stdfs::remove_all(mInstall);
        stdfs::create_directories(mStaged / "Korv Desktop");
    }
    ~StagedFileValidationQueueTest() override {
        std::error_code ignored;
        stdfs::remove_all(mInstall, ignored);
    }

    static void writeBytes(const stdfs::path& path, const std::string& content) {
        stdfs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
    // Forty files, some large enough to take several reads; `damaged` of them changed or removed
    // after unpacking, spread over the archive.
    void stageWithDamage(int damaged) {
        std::vector<TestZipEntry> entries;
        for (int i = 0; i < 40; ++i) {
            entries.push_back(
                {"Korv Desktop/part" + std::to_string(i % 3) + "/file" + std::to_string(i) + ".bin",
                 std::string(i % 7 == 0 ? 3 * 1024 * 1024 + i : 100 + i, static_cast<char>('a' + i % 26))});
        }
        auto zip = test::buildTestZip(entries);
        writeBytes(mZip, std::string(zip.bytes.begin(), zip.bytes.end()));
        for (const TestZipEntry& entry : entries) {
            writeBytes(mStaged / stdfs::u8path(entry.name), entry.data);
        }
        for (int i = 0; i < damaged; ++i) {
            const int index = (i * 11 + 3) % 40;
            const stdfs::path file = mStaged / stdfs::u8path(entries[static_cast<size_t>(index)].name);
            if (i % 2 == 0) {
                stdfs::remove(file);
            } else {
                writeBytes(file, "changed");
            }
        }
    }

    struct Outcome {
        std::vector<test::LoggedLine> lines;
        // Code and text of each record: the records also carry the process's error history, which
        // grows from one validation to the next.
        std::vector<std::string> records;
    };
    // One validation before and one after the swap, with the queue served by `workers` threads
    // (none: no work queue system at all).
    Outcome validate(std::optional<uint32_t> workers) {
        auto& config = Singleton<ConfigSystem>::create();
        config.set(config::Store::Ordinary, "machine.telemetry.updateCorrelationId", "id",
                   config::kScopeMachine);
        WorkerThreadManager manager;
        if (workers) {
            EXPECT_TRUE(foundation::initWorkQueueSystem({{"global-compute"}, {"global-io"}}));
            manager.init(*workers);
            manager.startWorkers(foundation::getWorkQueue(foundation::getWorkQueueIndexByName("global-io")),
                                 *workers);
        }
        Outcome outcome;
        {
            test::ScopedCapturingLogger logger;
            tryValidateStagedFiles(fs::Path(mStaged / "Korv Desktop"), fs::Path(mZip), false);
            tryValidateStagedFiles(fs::Path(mStaged / "Korv Desktop"), fs::Path(mZip), true);
            // Workers announce their start on their own time; that is no part of validation.
            for (const test::LoggedLine& line : logger->lines()) {
                if (!line.message.starts_with("Thread started [")) {
                    outcome.lines.push_back(line);
                }
            }
        }
        if (workers) {
            shutdownWorkQueues(manager);
        }
        for (const DecodedErrorRecord& record :
             decodeDestageErrors(config.getString("machine.destageErrors", ""))) {
            outcome.records.push_back(record.fields.ecod + " " + record.fields.estr);
        }
        Singleton<ConfigSystem>::destroy();
        return outcome;
    }

    stdfs::path mInstall;
    stdfs::path mStaged;
    stdfs::path mZip;
    test::ScopedTestClock mClock;
};

TEST_F(StagedFileValidationQueueTest, WorkersReportWhatTheCallerAloneReportsInTheSameOrder) {
    struct Case {
        const char* name;
        int damaged;
    };
    for (const Case& c : {Case{"clean", 0}, Case{"three damaged", 3}, Case{"more than the budget", 9}}) {
        SCOPED_TRACE(c.name);
        stdfs::remove_all(mInstall);
        stageWithDamage(c.damaged);
        const Outcome alone = validate(std::nullopt);
        EXPECT_EQ(alone.lines.size(), 2u + 2u * static_cast<size_t>(std::min(c.damaged, 5)));
        EXPECT_EQ(alone.records.size(), 2u * static_cast<size_t>(std::min(c.damaged, 5)));
        for (uint32_t workers : {6u, 1u, 0u}) {
            SCOPED_TRACE("workers " + std::to_string(workers));
            const Outcome queued = validate(workers);
            EXPECT_EQ(queued.lines, alone.lines);
            EXPECT_EQ(queued.records, alone.records);
        }
    }
}

}  // namespace
}  // namespace kvx::apps
