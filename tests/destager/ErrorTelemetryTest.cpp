#include "destager/ErrorTelemetry.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "destager/ClientFileVersion.h"
#include "destager/StepTestSupport.h"
#include "destager/TelemetryRecordDecoding.h"
#include "integration/AppCoreTestSupport.h"

namespace kvx::apps {
namespace {

using services::logging::Error;
using services::logging::Info;
using services::logging::Warn;

constexpr const char* kErrorsKey = "machine.destageErrors";
constexpr const char* kTelemetryFunction = "kvx::apps::addErrorTelemetryImpl";

// The records describe the install at the test's root.
class ErrorTelemetryTest : public test::StepFixture {
protected:
    ErrorTelemetryTest() {
        mClock->setWallClock(1'780'000'000'123'456'789);
    }  // 2026-05-28T20:26:40.123456789Z

    void setMachine(const char* key, const char* value) {
        mConfig.set(config::Store::Ordinary, key, value, config::kScopeMachine);
    }
    std::vector<DecodedErrorRecord> records() const {
        return decodeDestageErrors(mConfig.getString(kErrorsKey, ""));
    }

    test::ScopedAppKeyValue mInstallLocation{"InstallLocation", mRoot.path().wide() + L"\\"};
};

TEST_F(ErrorTelemetryTest, RecordCarriesEveryKeyInOrder) {
    setMachine("machine.telemetry.updateCorrelationId", "c0ffee-42");
    setMachine("machine.updateAttemptCount", "3");
    mConfig.setBool(config::Store::Ordinary, "runtime.isAttendedUpdate", true, config::kScopeStatic);
    addErrorTelemetry(kUpecRenameOldClient, kSeverityFatal, "Failed to rename [{}] code[{}]", "Korv Desktop",
                      5);
    EXPECT_EQ(mConfig.getString(kErrorsKey, "").rfind('&', 0), 0u);
    const auto all = records();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].note, "") << "every key, in the order written";
    TelemetryRecord fields = all[0].fields;
    // The kinds reported earlier in this process depend on the order the tests run in.
    EXPECT_TRUE(fields.emsg.ends_with("rename_old_client,")) << fields.emsg;
    fields.emsg = "<kinds>";
    // No client in the install: no version to read.
    EXPECT_EQ(fields, (TelemetryRecord{"2026-05-28T20:26:40.123", "UPEC-2202", "<kinds>", "fatal",
                                       "Failed to rename [Korv Desktop] code[5]", "0.0.0.0", "13.696.0.6209",
                                       "c0ffee-42", "3", "attended"}));
    EXPECT_EQ(mLogger->linesContaining("UPEC-"),
              (std::vector<test::LoggedLine>{
                  {Error, kTelemetryFunction, "UPEC-2202: Failed to rename [Korv Desktop] code[5]"}}));
}

// Records follow what earlier runs left; the kinds reported in this process accumulate, and the
// severity names the record's and the log line's level. A missing correlation id is logged and the
// record still written.
TEST_F(ErrorTelemetryTest, RecordsAppendWithTheKindsSoFarAtTheirSeveritysLevel) {
    setMachine("machine.telemetry.updateCorrelationId", "");
    setMachine(kErrorsKey, "&earlier");
    addErrorTelemetryImpl(kUpecStagedFileMissing, kSeverityWarning, "missing");
    addErrorTelemetryImpl(kUpecDesktopShortcut, kSeverityDiag, "shortcut");
    addErrorTelemetryImpl(kUpecSymlinkSwapBuildLink, 3, "odd severity");
    addErrorTelemetryImpl(9876, kSeverityWarning, "odd code");
    EXPECT_EQ(mConfig.getString(kErrorsKey, "").rfind("&earlier&", 0), 0u);
    const auto all = records();
    ASSERT_EQ(all.size(), 5u);
    const std::string before = all[1].fields.emsg.substr(0, all[1].fields.emsg.size() - 20);
    EXPECT_EQ(all[4].fields.emsg,
              before + "staged_file_missing,desktop_shortcut,symlink_swap_build_link,unknown,");
    std::vector<std::string> severities;
    for (size_t i = 1; i < all.size(); ++i) {
        severities.push_back(all[i].fields.esev);
    }
    EXPECT_EQ(severities, (std::vector<std::string>{"warning", "diag", "unknown", "warning"}));
    EXPECT_EQ(mLogger->linesContaining("UPEC-"),
              (std::vector<test::LoggedLine>{{Warn, kTelemetryFunction, "UPEC-2215: missing"},
                                             {Info, kTelemetryFunction, "UPEC-2200: shortcut"},
                                             {Error, kTelemetryFunction, "UPEC-2228: odd severity"},
                                             {Warn, kTelemetryFunction, "UPEC-9876: odd code"}}));
    EXPECT_EQ((std::vector{all[1].fields.ctx, all[1].fields.attempt, all[1].fields.uuid, all[1].note}),
              (std::vector<std::string>{"background", "0", "", ""}));
    EXPECT_EQ(mLogger->linesContaining("is missing from ini file"),
              std::vector<test::LoggedLine>(
                  4, {Error, kTelemetryFunction,
                      "[machine.telemetry.updateCorrelationId] is missing from ini file"}));
}

// "fvers" is the version of the client executable in the install location's client folder, whatever
// folder the destager runs from; without a readable version it is "0.0.0.0".
TEST_F(ErrorTelemetryTest, ClientVersionIsReadAtTheInstallLocation) {
    const fs::Path systemFile = L"C:\\windows\\system32\\kernel32.dll";
    const fs::Path clientExe = mRoot.writeFile(L"Korv Desktop\\KorvDesktop.exe", "no version resource");
    addErrorTelemetryImpl(kUpecDiagnostics, kSeverityDiag, "no version");
    std::filesystem::remove(clientExe.std());
    std::filesystem::copy_file(systemFile.std(), clientExe.std());
    addErrorTelemetryImpl(kUpecDiagnostics, kSeverityDiag, "version");
    const auto all = records();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].fields.fvers, "0.0.0.0");
    EXPECT_NE(all[1].fields.fvers, "0.0.0.0");
    EXPECT_EQ(all[1].fields.fvers, internal::fileVersionText(systemFile));
}

}  // namespace
}  // namespace kvx::apps
