// Start-of-run duties: the install-path check, and on the prefix's real app key its fix-up, the common
// data directory and the event.
#include <aclapi.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "foundation/fs/IFilesystem.h"
#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "foundation/registry/RegistryTestSupport.h"
#include "foundation/security/ProtectedDirectory.h"
#include "foundation/win/AutoHandle.h"
#include "foundation/win/SystemMemory.h"
#include "integration/AppCoreTestSupport.h"
#include "integration/AppKey.h"
#include "integration/AppRegistryKeys.h"
#include "integration/CommonAppDataDirectory.h"
#include "integration/UpdateInProgressEvent.h"
#include "process/InstallPathValidation.h"
#include "support/Capture.h"
#include "support/ScopedFilesystem.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::apps {
namespace {

using destager::Action;
using Values = std::map<std::string, std::string>;
using namespace std::chrono_literals;

constexpr const char* kWrittenValues[] = {
    "InstallLocation",   "LauncherAppPath",   "ClientPath", "KorvConnectMsAppPath",
    "FaultReporterPath", "InstallSuccessful", "FlintMode",  "CommonAppPathCreated"};

// What a complete fix-up writes into one view of the app key for `location`.
Values writtenFor(const std::string& location) {
    const std::string programs = location + "\\Korv Desktop\\";
    // The install location keeps a trailing separator, the executable paths do not.
    return {{"InstallLocation", location + "\\"},
            {"LauncherAppPath", programs + "KorvLauncher.exe"},
            {"ClientPath", programs + "KorvDesktop.exe"},
            {"KorvConnectMsAppPath", programs + "KorvConnect_microsoft.exe"},
            {"FaultReporterPath", programs + "FaultReporter.exe"},
            {"InstallSuccessful", "1"}};
}

class MainFlowDuties : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        foundation::setSpecialDirectoryRedirections({});
        for (const bool view64 : {true, false}) {
            for (const char* name : kWrittenValues) {
                openAppKey(true, view64).deleteValue(name);
            }
        }
        mLogger->clear();
    }
    static int fixup(Action action, const wchar_t* executable) {
        test::ScopedFilesystem running(std::make_shared<test::FakeExecutableFilesystem>(
            executable ? std::optional(fs::Path(executable)) : std::nullopt));
        return fixupMainAppKeys(destager::DestagerOptions{.action = action, .mode = destager::Mode::Flint});
    }
    static Values values(bool view64) {
        const foundation::RegistryKey key = openAppKey(false, view64);
        Values present;
        for (const char* name : kWrittenValues) {
            if (key.valueExists(name)) {
                const std::string text = key.get<std::string>(name);
                present[name] = text.empty() ? std::to_string(key.get<uint32_t>(name)) : text;
            }
        }
        return present;
    }

    test::ScopedCapturingLogger mLogger;
};

TEST_F(MainFlowDuties, AppKeyFixupWritesBothViewsFromTheInstallLocationOrNothingWithTheReason) {
    const struct {
        Action action;
        const char* registered;  // "InstallLocation" before the run
        const wchar_t* executable;
        int result;
        const char* written;  // the install location written; none: nothing is
        const char* line;     // the one line logged; none: nothing is logged
    } rows[] = {
        {Action::Repair, nullptr, L"C:\\X\\Korv Desktop\\a\\b\\KorvDestager.exe", 0, "C:\\X\\Korv Desktop",
         "Setting registry keys based on install location [C:\\X\\Korv Desktop]"},
        // An update without a registered location uses the Program Files default.
        {Action::Update, nullptr,
         L"D:\\Programs\\Tessory\\Korv Desktop\\StagedKorvDesktop\\Korv Desktop\\KorvDestager.exe", 0,
         "D:\\Programs\\Tessory\\Korv Desktop",
         "Setting registry keys based on install location [D:\\Programs\\Tessory\\Korv Desktop]"},
        {Action::Update, "C:\\Elsewhere\\Korv Desktop\\", L"C:\\Other\\KorvDestager.exe", 0, nullptr,
         nullptr},
        {Action::Repair, nullptr, L"C:\\X\\korv desktop\\a\\b\\KorvDestager.exe", 22, nullptr,
         "Install location [C:\\X\\korv desktop] does not match expected structure"},
        // A sibling whose name only extends the install folder's name is outside it too.
        {Action::Repair, "C:\\Games\\Korv Desktop\\", L"C:\\Games\\Korv Desktop2\\a\\KorvDestager.exe", 22,
         nullptr, "Not running from the install location"},
        {Action::Repair, nullptr, nullptr, 24, nullptr, "Failed to get current executable path: 5: "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line ? row.line : "update with a registered location");
        TearDown();
        foundation::setSpecialDirectoryRedirections(
            {{foundation::SpecialDirectory::programFiles, "D:\\Programs"}});
        if (row.registered) {
            ASSERT_TRUE(openAppKey(true, true).set("InstallLocation", row.registered));
        }
        EXPECT_EQ(fixup(row.action, row.executable), row.result);
        const auto lines = mLogger->lines();
        ASSERT_EQ(lines.size(), row.line ? 1u : 0u);
        if (row.line) {
            EXPECT_EQ(lines[0].message.rfind(row.line, 0), 0u) << lines[0].message;
            EXPECT_EQ(lines[0].function, "kvx::apps::fixupMainAppKeys");
        }
        const Values view32 = row.written ? writtenFor(row.written) : Values{};
        Values view64 = row.registered ? Values{{"InstallLocation", row.registered}} : view32;
        // Only a repair sets the mode, and only in the 64-bit view.
        if (row.written && row.action == Action::Repair) {
            view64["FlintMode"] = "1";
        }
        EXPECT_EQ(values(true), view64);
        EXPECT_EQ(values(false), view32);
    }
}

TEST_F(MainFlowDuties, RefusedAppKeyWritesAre22ButEveryOtherValueIsWritten) {
    test::ScriptedRegistryProxy proxy;
    proxy.refuseValue = [](LPCWSTR name) {
        const std::wstring_view refused(name);
        return refused == L"ClientPath" || refused == L"InstallSuccessful" ? ERROR_ACCESS_DENIED
                                                                           : ERROR_SUCCESS;
    };
    {
        test::ScopedRegistryProxy scoped(proxy);
        EXPECT_EQ(fixup(Action::Repair, L"C:\\X\\Korv Desktop\\a\\b\\KorvDestager.exe"), 22);
    }
    // A failed key write ends the fix-up before the mode.
    Values expected = writtenFor("C:\\X\\Korv Desktop");
    expected.erase("ClientPath");
    expected.erase("InstallSuccessful");
    EXPECT_EQ(values(true), expected);
    EXPECT_EQ(values(false), expected);
    const auto pathLines = mLogger->linesContaining(
        "Failed to set [ClientPath] to [C:\\X\\Korv Desktop\\Korv Desktop\\KorvDesktop.exe]");
    ASSERT_EQ(pathLines.size(), 2u);
    EXPECT_EQ(pathLines[0].function, "kvx::apps::setAppKeyPath");
    const auto flagLines = mLogger->linesContaining("Failed to set [InstallSuccessful] to [1]");
    ASSERT_EQ(flagLines.size(), 2u);
    EXPECT_EQ(flagLines[0].function, "kvx::apps::updateAppRegistryKey");
}

// The directory creation is the real one; only the background service stop is recorded.
TEST_F(MainFlowDuties, CommonAppDataDirectoryRetriedWhileTheOldOneCannotBeEmptiedThenSkippedByTheFlag) {
    test::TempFolder programData;
    foundation::setSpecialDirectoryRedirections(
        {{foundation::SpecialDirectory::programData, programData.path().utf8()}});
    std::vector<int64_t> serviceStops;
    int attempts = 0;
    int releaseBeforeAttempt = 0;
    // A file the background service still holds: the directory cannot be emptied while it is open.
    const fs::Path heldFile = programData.writeFile(L"Korv Desktop\\Logs\\service.log", "held");
    WinUtils::AutoHandle held;
    const CommonAppDataSteps steps{
        .stopBackgroundService = [&](int64_t timeoutMs) { serviceStops.push_back(timeoutMs); },
        .createDirectory =
            [&](const fs::Path& directory, const fs::Path& prefix) {
                if (++attempts == releaseBeforeAttempt) {
                    held.reset();
                }
                return foundation::security::createAdminOwnedDirectory(directory, prefix, true, false);
            },
    };
    const struct {
        int releaseBeforeAttempt;  // 0: never
        std::vector<std::chrono::milliseconds> waits;
    } rows[] = {
        {0, {1000ms, 1750ms, 3062ms, 5358ms, 9376ms, 15000ms, 15000ms, 15000ms, 15000ms}},
        {3, {1000ms, 1750ms}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.releaseBeforeAttempt);
        test::ScopedTestClock clock;
        mLogger->clear();
        attempts = 0;
        releaseBeforeAttempt = row.releaseBeforeAttempt;
        held = WinUtils::AutoHandle(
            CreateFileW(heldFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held.valid());
        const bool created = row.releaseBeforeAttempt != 0;
        EXPECT_EQ(createCommonAppDataDirectory(steps), created);
        EXPECT_EQ(commonAppDataDirectoryProtected(), created);
        EXPECT_EQ(clock->sleeps(), row.waits);
        const size_t failures = created ? row.releaseBeforeAttempt - 1 : 10;
        EXPECT_EQ(mLogger->count("Failed to create common app data directory ["), failures);
        EXPECT_EQ(mLogger->count("; attempt " + std::to_string(failures)), 1u);
        EXPECT_EQ(fs::filesystem().isDirectory(programData / L"Korv Desktop\\Logs"), !created)
            << "emptied when made";
        const Values flag = created ? Values{{"CommonAppPathCreated", "1"}} : Values{};
        EXPECT_EQ(values(true), flag);
        EXPECT_EQ(values(false), flag);
    }
    // Once made, a later run leaves the service running and the directory's files alone.
    const fs::Path machineIni =
        programData.writeFile(L"Korv Desktop\\machine.ini", "machine.destageResult=0");
    EXPECT_TRUE(createCommonAppDataDirectory(steps));
    EXPECT_EQ(attempts, 3);
    EXPECT_EQ(serviceStops, (std::vector<int64_t>{15000, 15000}));
    EXPECT_TRUE(fs::filesystem().exists(machineIni).peek());
    ASSERT_TRUE(openAppKey(true, true).set("CommonAppPathCreated", uint32_t{2}));
    EXPECT_FALSE(commonAppDataDirectoryProtected()) << "only exactly 1 vouches for what it holds";
}

TEST_F(MainFlowDuties, UpdateInProgressEventIsSeenUntilClosedAndOthersMayOnlyWaitOnIt) {
    ASSERT_FALSE(suite::isUpdateInProgress());
    WinUtils::AutoHandle event;
    suite::createUpdateInProgressEvent(event);
    ASSERT_TRUE(event.valid());
    EXPECT_TRUE(suite::isUpdateInProgress());
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "created signalled";
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(event.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &dacl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    const WinUtils::UniqueLocalMemory<PSECURITY_DESCRIPTOR> owned(descriptor);
    void* first = nullptr;
    ASSERT_TRUE(GetAce(dacl, 0, &first));
    // Authenticated users may only wait.
    EXPECT_EQ(static_cast<ACCESS_ALLOWED_ACE*>(first)->Mask, static_cast<ACCESS_MASK>(SYNCHRONIZE));
    event.reset();
    EXPECT_FALSE(suite::isUpdateInProgress());
}

// A plain prefix test on the text, folding only A to Z.
TEST(ValidateInstallPath, PlainPrefixTestWithAsciiCaseFolding) {
    const struct {
        const wchar_t* location;
        const wchar_t* executable;
        int result;
        const char* line;  // the one error logged; none: nothing is logged
    } rows[] = {
        {L"", L"C:\\Games\\Korv Desktop\\x\\KorvDestager.exe", 24, "Unable to determine install location"},
        {L"C:\\Games\\Korv Desktop\\", L"c:\\GAMES\\korv desktop\\S\\KorvDestager.exe", 0, nullptr},
        {L"C:\\Spiele\\\u00C4pfel\\", L"C:\\Spiele\\\u00E4pfel\\KorvDestager.exe", 23,
         "Destager not running from install folder"},
        // A sibling folder whose name extends the install folder's name passes.
        {L"C:\\Games\\Korv Desktop", L"C:\\Games\\Korv Desktop2\\KorvDestager.exe", 0, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.result << " " << (row.line ? row.line : ""));
        test::ScopedCapturingLogger logger;
        EXPECT_EQ(validateInstallPath(row.location, row.executable), row.result);
        test::LoggedLines expected;
        if (row.line) {
            expected.push_back({services::logging::Error, "kvx::apps::validateInstallPath", row.line});
        }
        EXPECT_EQ(logger->lines(), expected);
    }
}

}  // namespace
}  // namespace kvx::apps
