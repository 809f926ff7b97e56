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
    void setMachine(const char* key, const char* value) {
        mConfig.set(config::Store::Ordinary, key, value, config::kScopeMachine);
    }

    test::ScopedAppKeyValue mInstallLocation{"InstallLocation", mRoot.path().wide() + L"\\"};
};

// Records follow earlier runs', kinds accumulate, severity sets the log level, a missing id is logged;
// "fvers" is the client's at the install location, wherever the destager runs ("0.0.0.0" without one).
TEST_F(ErrorTelemetryTest, RecordsAppendWithEveryKeyTheKindsSoFarAndTheSeveritysLevel) {
    mClock->setWallClock(1'780'000'000'123'456'789);  // 2026-05-28T20:26:40.123456789Z
    setMachine("machine.telemetry.updateCorrelationId", "");
    setMachine(kErrorsKey, "&earlier");
    addErrorTelemetryImpl(kUpecStagedFileMissing, kSeverityWarning, "missing");
    addErrorTelemetryImpl(kUpecDesktopShortcut, kSeverityDiag, "shortcut");
    addErrorTelemetryImpl(kUpecSymlinkSwapBuildLink, 3, "odd severity");
    addErrorTelemetryImpl(9876, kSeverityWarning, "odd code");
    const fs::Path systemFile = L"C:\\windows\\system32\\kernel32.dll";
    mRoot.makeFolder(L"Korv Desktop");
    std::filesystem::copy_file(systemFile.std(), (mRoot / L"Korv Desktop\\KorvDesktop.exe").std());
    setMachine("machine.telemetry.updateCorrelationId", "c0ffee-42");
    setMachine("machine.updateAttemptCount", "3");
    mConfig.setBool(config::Store::Ordinary, "runtime.isAttendedUpdate", true, config::kScopeStatic);
    addErrorTelemetry(kUpecRenameOldClient, kSeverityFatal, "Failed to rename [{}] code[{}]", "Korv Desktop",
                      5);

    EXPECT_EQ(mConfig.getString(kErrorsKey, "").rfind("&earlier&", 0), 0u);
    const auto all = decodeDestageErrors(mConfig.getString(kErrorsKey, ""));
    ASSERT_EQ(all.size(), 6u);
    // The kinds reported earlier in this process depend on the order the tests run in.
    TelemetryRecord last = all[5].fields;
    EXPECT_TRUE(all[1].fields.emsg.ends_with("staged_file_missing,")) << all[1].fields.emsg;
    EXPECT_EQ(last.emsg,
              all[1].fields.emsg + "desktop_shortcut,symlink_swap_build_link,unknown,rename_old_client,");
    last.emsg = "<kinds>";
    EXPECT_EQ(last, (TelemetryRecord{"2026-05-28T20:26:40.123", "UPEC-2202", "<kinds>", "fatal",
                                     "Failed to rename [Korv Desktop] code[5]",
                                     internal::fileVersionText(systemFile), "13.696.0.6209", "c0ffee-42", "3",
                                     "attended"}));
    EXPECT_NE(last.fvers, "0.0.0.0");
    EXPECT_EQ(all[5].note, "") << "every key, in the order written";
    EXPECT_EQ((std::vector{all[1].fields.esev, all[2].fields.esev, all[3].fields.esev, all[4].fields.esev}),
              (std::vector<std::string>{"warning", "diag", "unknown", "warning"}));
    EXPECT_EQ(mLogger->linesContaining("UPEC-"),
              (std::vector<test::LoggedLine>{
                  {Warn, kTelemetryFunction, "UPEC-2215: missing"},
                  {Info, kTelemetryFunction, "UPEC-2200: shortcut"},
                  {Error, kTelemetryFunction, "UPEC-2228: odd severity"},
                  {Warn, kTelemetryFunction, "UPEC-9876: odd code"},
                  {Error, kTelemetryFunction, "UPEC-2202: Failed to rename [Korv Desktop] code[5]"}}));
    EXPECT_EQ((std::vector{all[1].fields.fvers, all[1].fields.ctx, all[1].fields.attempt, all[1].fields.uuid,
                           all[1].note}),
              (std::vector<std::string>{"0.0.0.0", "background", "0", "", ""}));
    EXPECT_EQ(mLogger->linesContaining("is missing from ini file"),
              std::vector<test::LoggedLine>(
                  4, {Error, kTelemetryFunction,
                      "[machine.telemetry.updateCorrelationId] is missing from ini file"}));
}

}  // namespace
}  // namespace kvx::apps
