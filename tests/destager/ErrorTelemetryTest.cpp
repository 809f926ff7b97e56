#include "destager/ErrorTelemetry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "destager/ClientFileVersion.h"
#include "destager/TelemetryDecoding.h"
#include "foundation/Singleton.h"
#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "framework/config/ConfigSystem.h"
#include "framework/settings/MachineSettings.h"
#include "support/Capture.h"
#include "support/TestClock.h"
#include "support/Utf8Path.h"

namespace kvx::apps {
namespace {

using test::utf8;

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

    addErrorTelemetry(kUpecRenameOldClient, kSeverityFatal, "Failed to rename [{}] code[{}]", "Korv Desktop", 5);

    const std::string value = mConfig.getString(kErrorsKey, "");
    ASSERT_FALSE(value.empty());
    EXPECT_EQ(value[0], '&');
    auto all = records();
    ASSERT_EQ(all.size(), 1u);
    const test::DecodedRecord& record = all[0];
    std::vector<std::string> keys;
    for (const auto& [key, unused] : record) {
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"ts_incident", "ecod", "emsg", "esev", "estr", "fvers", "tvers", "uuid",
                                              "attempt", "ctx"}));
    EXPECT_EQ(test::valueOf(record, "ts_incident"), "2026-01-01T00:00:00.042");
    EXPECT_EQ(test::valueOf(record, "ecod"), "UPEC-2202");
    EXPECT_EQ(test::valueOf(record, "emsg").substr(test::valueOf(record, "emsg").size() - 18), "rename_old_client,");
    EXPECT_EQ(test::valueOf(record, "esev"), "fatal");
    EXPECT_EQ(test::valueOf(record, "estr"), "Failed to rename [Korv Desktop] code[5]");
    EXPECT_TRUE(std::regex_match(test::valueOf(record, "fvers"), std::regex(R"(\d+\.\d+\.\d+\.\d+)")));
    EXPECT_EQ(test::valueOf(record, "tvers"), "13.696.0.6209");
    EXPECT_EQ(test::valueOf(record, "uuid"), "c0ffee-42");
    EXPECT_EQ(test::valueOf(record, "attempt"), "3");
    EXPECT_EQ(test::valueOf(record, "ctx"), "attended");

    auto logged = mLogger->linesContaining("UPEC-2202: ");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].level, services::logging::Error);
    EXPECT_EQ(logged[0].function, kTelemetryFunction);
    EXPECT_EQ(logged[0].message, "UPEC-2202: Failed to rename [Korv Desktop] code[5]");
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
    auto missing = mLogger->linesContaining("is missing from ini file");
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0].level, services::logging::Error);
    EXPECT_EQ(missing[0].function, kTelemetryFunction);
    EXPECT_EQ(missing[0].message, "[machine.telemetry.updateCorrelationId] is missing from ini file");
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

// One destager run against a machine.ini: load it, raise an incident, persist as the main flow does
// (the first run saves after the fact, the second through the write-through listener).
void runOnce(const std::string& message, bool writeThrough) {
    namespace machine = domain::settings::machine;
    ConfigSystem& config = Singleton<ConfigSystem>::create();
    machine::loadMachineSettingsToConfigSys();
    if (writeThrough) {
        machine::registerMachineSettingsWriteThrough();
    }
    addErrorTelemetry(kUpecRenameStagedClient, kSeverityWarning, "{}", message);
    if (!writeThrough) {
        machine::saveMachineSettingsToFile(config.filterByScope(config::kScopeMachine));
    }
    Singleton<ConfigSystem>::destroy();
}

TEST(ErrorTelemetryMachineSettings, RecordsAccumulateAcrossRunsOfTheSameMachineIni) {
    namespace stdfs = std::filesystem;
    const stdfs::path programData =
        stdfs::temp_directory_path() / "kvx-telemetry-machine-ini";
    stdfs::remove_all(programData);
    stdfs::create_directories(programData / "Korv Desktop");
    foundation::setSpecialDirectoryRedirections({{foundation::SpecialDirectory::programData, utf8(programData)}});
    test::ScopedTestClock clock;
    test::ScopedCapturingLogger logger;

    runOnce("first run", false);
    runOnce("second run", true);

    ConfigSystem& config = Singleton<ConfigSystem>::create();
    domain::settings::machine::loadMachineSettingsToConfigSys();
    auto all = test::decodeErrorsValue(config.getString(kErrorsKey, ""));
    Singleton<ConfigSystem>::destroy();
    foundation::setSpecialDirectoryRedirections({});
    stdfs::remove_all(programData);

    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(test::valueOf(all[0], "estr"), "first run");
    EXPECT_EQ(test::valueOf(all[1], "estr"), "second run");
    EXPECT_EQ(test::valueOf(all[1], "ecod"), "UPEC-2203");
}

}  // namespace
}  // namespace kvx::apps
