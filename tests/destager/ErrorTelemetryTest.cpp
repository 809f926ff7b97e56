#include "destager/ErrorTelemetry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "destager/ClientFileVersion.h"
#include "destager/TelemetryRecordDecoding.h"
#include "foundation/Singleton.h"
#include "framework/config/ConfigSystem.h"
#include "integration/AppCoreTestSupport.h"
#include "support/Capture.h"
#include "support/TempFolder.h"
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
    std::vector<DecodedErrorRecord> records() const {
        return decodeDestageErrors(mConfig.getString(kErrorsKey, ""));
    }

    ConfigSystem& mConfig;
    test::ScopedTestClock mClock;
    test::ScopedCapturingLogger mLogger;
    // The install the records describe; the client executable in it is up to each test.
    test::TempFolder mInstall;
    test::ScopedAppKeyValue mInstallLocation{"InstallLocation", mInstall.path().wide() + L"\\"};
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
    DecodedErrorRecord record = all[0];
    EXPECT_EQ(record.note, "") << "every key, in the order written";
    // The kinds reported so far in this process and the test executable's version vary.
    const std::string kinds = record.fields.emsg;
    EXPECT_TRUE(kinds.ends_with("rename_old_client,")) << kinds;
    EXPECT_TRUE(std::regex_match(record.fields.fvers, std::regex(R"(\d+\.\d+\.\d+\.\d+)")));
    record.fields.emsg = "<kinds>";
    record.fields.fvers = "<version>";
    EXPECT_EQ(record.fields, (TelemetryRecord{"2026-01-01T00:00:00.042", "UPEC-2202", "<kinds>", "fatal",
                                              "Failed to rename [Korv Desktop] code[5]", "<version>",
                                              "13.696.0.6209", "c0ffee-42", "3", "attended"}));
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
    const std::string firstKinds = all[1].fields.emsg;
    EXPECT_EQ(firstKinds.substr(firstKinds.size() - 20), "staged_file_missing,");
    EXPECT_EQ(all[2].fields.emsg, firstKinds + "desktop_shortcut,");
    EXPECT_EQ(all[1].fields.esev, "warning");
    EXPECT_EQ(all[2].fields.esev, "diag");
    EXPECT_EQ(all[2].fields.ctx, "background");
    EXPECT_EQ(all[2].fields.attempt, "0");
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
    EXPECT_EQ(all[0].fields.esev, "unknown");
    EXPECT_EQ(mLogger->linesContaining("UPEC-2228: sev three").at(0).level, services::logging::Error);
    EXPECT_EQ(all[1].fields.ecod, "UPEC-9876");
    const std::string kinds = all[1].fields.emsg;
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
    EXPECT_EQ(all[0].note, "") << "the uuid key is written, empty";
    EXPECT_EQ(all[0].fields.uuid, "");
}

// "fvers" is the version of the client executable in the install location's client folder, whatever
// folder the destager runs from; without a readable version it is "0.0.0.0".
TEST_F(ErrorTelemetryTest, ClientVersionIsReadAtTheInstallLocation) {
    const std::string systemFile = "C:\\windows\\system32\\kernel32.dll";
    const std::string systemVersion = internal::fileVersionText(fs::Path::fromUtf8(systemFile));
    // No client, a client without a version resource, a client with one.
    const std::pair<const char*, std::string> rows[] = {
        {nullptr, "0.0.0.0"}, {"no version resource", "0.0.0.0"}, {systemFile.c_str(), systemVersion}};
    ASSERT_NE(systemVersion, "0.0.0.0");
    const fs::Path clientExe = mInstall / L"Korv Desktop" / L"KorvDesktop.exe";
    for (const auto& [client, expected] : rows) {
        SCOPED_TRACE(client != nullptr ? client : "no client");
        if (client != nullptr && client == systemFile) {
            std::filesystem::remove(clientExe.std());
            std::filesystem::copy_file(client, clientExe.std());
        } else if (client != nullptr) {
            mInstall.writeFile(fs::Path(L"Korv Desktop") / L"KorvDesktop.exe", client);
        }
        mConfig.set(config::Store::Ordinary, kErrorsKey, "", config::kScopeMachine);
        addErrorTelemetryImpl(kUpecDiagnostics, kSeverityDiag, "version");
        ASSERT_EQ(records().size(), 1u);
        EXPECT_EQ(records()[0].fields.fvers, expected);
    }
}

TEST(ClientFileVersion, ReadsTheVersionResourceOfASystemFile) {
    const std::string version = internal::fileVersionText(L"C:\\windows\\system32\\kernel32.dll");
    EXPECT_TRUE(std::regex_match(version, std::regex(R"(\d+\.\d+\.\d+\.\d+)"))) << version;
    EXPECT_NE(version, "0.0.0.0");
    EXPECT_EQ(internal::fileVersionText(L"C:\\no\\such\\file.exe"), "0.0.0.0");
}

}  // namespace
}  // namespace kvx::apps
