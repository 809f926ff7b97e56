#include "destager/ErrorTelemetry.h"

#include <gtest/gtest.h>

#include <regex>

#include "destager/ClientFileVersion.h"
#include "destager/TelemetryDecoding.h"
#include "foundation/Singleton.h"
#include "framework/config/ConfigSystem.h"
#include "support/Capture.h"
#include "support/TestClock.h"

namespace kvx::apps {
namespace {

using config::ConfigSystem;
using foundation::utils::Singleton;

constexpr const char* kErrorsKey = "machine.destageErrors";
constexpr const char* kTelemetryFunction = "kvx::apps::addErrorTelemetryImpl";

class ErrorTelemetryTest : public ::testing::Test {
protected:
    ErrorTelemetryTest() : mConfig(Singleton<ConfigSystem>::create()) {
        mClock->setWallClock(1'767'225'600'000'000'000 + 42'000'000);  // 2026-01-01T00:00:00.042Z
    }
    ~ErrorTelemetryTest() override { Singleton<ConfigSystem>::destroy(); }

    void setMachine(const char* key, const char* value) {
        mConfig.set(config::Store::Ordinary, key, value, config::kScopeMachine);
    }
    std::vector<test::DecodedRecord> records() const {
        return test::decodeErrorsValue(mConfig.getString(kErrorsKey, ""));
    }

    ConfigSystem& mConfig;
    test::ScopedTestClock mClock;
    test::ScopedCapturingLogger mLogger;
};

TEST_F(ErrorTelemetryTest, RecordCarriesEveryKeyInOrder) {
    setMachine("machine.telemetry.updateCorrelationId", "c0ffee-42");
    setMachine("machine.updateAttemptCount", "3");
    mConfig.setBool(config::Store::Ordinary, "runtime.isAttendedUpdate", true, config::kScopeStatic);

    // A machine-scope set, announced: what machine.ini's write-through and save persist across runs.
    std::vector<std::string> announced;
    mConfig.addChangeHandler(
        [&announced](config::ConfigScope scope, const std::string& key) {
            announced.push_back(std::to_string(scope) + ":" + key);
        },
        KVX_HANDLER_SOURCE);
    addErrorTelemetry(kUpecRenameOldClient, kSeverityFatal, "Failed to rename [{}] code[{}]", "Korv Desktop", 5);
    EXPECT_EQ(announced,
              std::vector<std::string>{std::to_string(config::kScopeMachine) + ":machine.destageerrors"});

    EXPECT_EQ(mConfig.getString(kErrorsKey, "").rfind('&', 0), 0u);
    auto all = records();
    ASSERT_EQ(all.size(), 1u);
    test::DecodedRecord record = all[0];
    // The kinds reported so far in this process and the test executable's version vary.
    const std::string kinds = test::valueOf(record, "emsg");
    EXPECT_TRUE(kinds.ends_with("rename_old_client,")) << kinds;
    EXPECT_TRUE(std::regex_match(test::valueOf(record, "fvers"), std::regex(R"(\d+\.\d+\.\d+\.\d+)")));
    record[2].second = "<kinds>";
    record[5].second = "<version>";
    EXPECT_EQ(record, (test::DecodedRecord{{"ts_incident", "2026-01-01T00:00:00.042"},
                                           {"ecod", "UPEC-2202"},
                                           {"emsg", "<kinds>"},
                                           {"esev", "fatal"},
                                           {"estr", "Failed to rename [Korv Desktop] code[5]"},
                                           {"fvers", "<version>"},
                                           {"tvers", "13.696.0.6209"},
                                           {"uuid", "c0ffee-42"},
                                           {"attempt", "3"},
                                           {"ctx", "attended"}}));
    EXPECT_EQ(mLogger->linesContaining("UPEC-"),
              (std::vector<test::LoggedLine>{{services::logging::Error, kTelemetryFunction,
                                              "UPEC-2202: Failed to rename [Korv Desktop] code[5]"}}));
    EXPECT_TRUE(mLogger->linesContaining("is missing from ini file").empty());
}

TEST_F(ErrorTelemetryTest, RecordsAppendAndKindsAccumulateWithinTheProcess) {
    setMachine("machine.telemetry.updateCorrelationId", "id");
    setMachine(kErrorsKey, "&earlier");
    addErrorTelemetry(kUpecStagedFileMissing, kSeverityWarning, "Staged file missing, file[{}]", "a.dll");
    addErrorTelemetryImpl(kUpecDesktopShortcut, kSeverityDiag, "diag text");

    const std::string value = mConfig.getString(kErrorsKey, "");
    EXPECT_EQ(value.rfind("&earlier&", 0), 0u);
    auto all = records();
    ASSERT_EQ(all.size(), 3u);
    const std::string firstKinds = test::valueOf(all[1], "emsg");
    EXPECT_EQ(firstKinds.substr(firstKinds.size() - 20), "staged_file_missing,");
    EXPECT_EQ(test::valueOf(all[2], "emsg"), firstKinds + "desktop_shortcut,");
    EXPECT_EQ(test::valueOf(all[1], "esev"), "warning");
    EXPECT_EQ(test::valueOf(all[2], "esev"), "diag");
    EXPECT_EQ(test::valueOf(all[2], "ctx"), "background");
    EXPECT_EQ(test::valueOf(all[2], "attempt"), "0");
    EXPECT_EQ(mLogger->linesContaining("UPEC-2215: Staged file missing, file[a.dll]").at(0).level,
              services::logging::Warn);
    EXPECT_EQ(mLogger->linesContaining("UPEC-2200: diag text").at(0).level, services::logging::Info);
}

TEST_F(ErrorTelemetryTest, UnknownSeverityAndCodeAreWrittenAsUnknown) {
    setMachine("machine.telemetry.updateCorrelationId", "id");
    addErrorTelemetryImpl(kUpecSymlinkSwapBuildLink, 3, "sev three");
    addErrorTelemetryImpl(9876, kSeverityWarning, "odd code");
    auto all = records();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(test::valueOf(all[0], "esev"), "unknown");
    EXPECT_EQ(mLogger->linesContaining("UPEC-2228: sev three").at(0).level, services::logging::Error);
    EXPECT_EQ(test::valueOf(all[1], "ecod"), "UPEC-9876");
    const std::string kinds = test::valueOf(all[1], "emsg");
    EXPECT_EQ(kinds.substr(kinds.size() - 32), "symlink_swap_build_link,unknown,");
}

TEST_F(ErrorTelemetryTest, MissingCorrelationIdIsLoggedAndTheRecordStillWritten) {
    addErrorTelemetryImpl(kUpecDiagnostics, kSeverityDiag, "no id");
    EXPECT_EQ(mLogger->linesContaining("is missing from ini file"),
              (std::vector<test::LoggedLine>{
                  {services::logging::Error, kTelemetryFunction,
                   "[machine.telemetry.updateCorrelationId] is missing from ini file"}}));
    auto all = records();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(test::valueOf(all[0], "uuid"), "");
}

TEST(ClientFileVersion, ReadsTheVersionResourceOfASystemFile) {
    const std::string version = internal::fileVersionText(L"C:\\windows\\system32\\kernel32.dll");
    EXPECT_TRUE(std::regex_match(version, std::regex(R"(\d+\.\d+\.\d+\.\d+)"))) << version;
    EXPECT_NE(version, "0.0.0.0");
    EXPECT_EQ(internal::fileVersionText(L"C:\\no\\such\\file.exe"), "0.0.0.0");
}

}  // namespace
}  // namespace kvx::apps
