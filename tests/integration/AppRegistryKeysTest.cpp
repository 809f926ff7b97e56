#include "integration/AppRegistryKeys.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "foundation/registry/RegistryTestSupport.h"
#include "integration/AppCoreTestSupport.h"
#include "integration/AppKey.h"
#include "support/Capture.h"
#include "support/ScopedFilesystem.h"

namespace kvx::apps {
namespace {

using destager::Action;
using destager::Mode;

constexpr const char* kWrittenValues[] = {
    "InstallLocation",   "LauncherAppPath",   "ClientPath", "KorvConnectMsAppPath",
    "FaultReporterPath", "InstallSuccessful", "FlintMode"};

// The app key of the test prefix's real registry, in both views; every value the fix-up writes is
// removed before and after each case.
class FixupMainAppKeys : public ::testing::Test {
protected:
    void SetUp() override { removeWrittenValues(); }
    void TearDown() override {
        foundation::setSpecialDirectoryRedirections({});
        removeWrittenValues();
    }
    void removeWrittenValues() {
        for (const bool view64 : {true, false}) {
            for (const char* name : kWrittenValues) {
                openAppKey(true, view64).deleteValue(name);
            }
        }
        mLogger->clear();
    }
    // `executable` is the running destager's path; none means it cannot be found.
    int fixup(Action action, const wchar_t* executable, Mode mode = Mode::Unspecified) {
        mFilesystem.emplace(std::make_shared<test::FakeExecutableFilesystem>(
            executable ? std::optional(fs::Path(executable)) : std::nullopt));
        destager::DestagerOptions options;
        options.action = action;
        options.mode = mode;
        return fixupMainAppKeys(options);
    }
    static std::string value(const char* name, bool view64 = true) {
        return openAppKey(false, view64).get<std::string>(name);
    }
    static bool hasValue(const char* name, bool view64 = true) { return openAppKey(false, view64).valueExists(name); }

    test::ScopedCapturingLogger mLogger;
    std::optional<test::ScopedFilesystem<test::FakeExecutableFilesystem>> mFilesystem;
};

TEST_F(FixupMainAppKeys, WritesBothViewsFromTheInstallLocation) {
    struct Row {
        Action action;
        Mode mode;
        const wchar_t* executable;
        std::string location;
    };
    const Row rows[] = {
        {Action::Repair, Mode::Flint, L"C:\\X\\Korv Desktop\\a\\b\\KorvDestager.exe", "C:\\X\\Korv Desktop"},
        // An update without a registered location uses the Program Files default.
        {Action::Update, Mode::Unspecified,
         L"D:\\Programs\\Tessory\\Korv Desktop\\StagedKorvDesktop\\Korv Desktop\\KorvDestager.exe",
         "D:\\Programs\\Tessory\\Korv Desktop"},
    };
    foundation::setSpecialDirectoryRedirections({{foundation::SpecialDirectory::programFiles, "D:\\Programs"}});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.location);
        removeWrittenValues();
        EXPECT_EQ(fixup(row.action, row.executable, row.mode), 0);
        const std::string programs = row.location + "\\Korv Desktop\\";
        for (const bool view64 : {true, false}) {
            SCOPED_TRACE(view64 ? "64-bit view" : "32-bit view");
            // The install location keeps a trailing separator, the executable paths do not.
            EXPECT_EQ(value("InstallLocation", view64), row.location + "\\");
            EXPECT_EQ(value("LauncherAppPath", view64), programs + "KorvLauncher.exe");
            EXPECT_EQ(value("ClientPath", view64), programs + "KorvDesktop.exe");
            EXPECT_EQ(value("KorvConnectMsAppPath", view64), programs + "KorvConnect_microsoft.exe");
            EXPECT_EQ(value("FaultReporterPath", view64), programs + "FaultReporter.exe");
            EXPECT_EQ(openAppKey(false, view64).get<uint32_t>("InstallSuccessful"), 1u);
        }
        // Only a repair sets the mode, and only in the 64-bit view.
        EXPECT_EQ(hasValue("FlintMode"), row.action == Action::Repair);
        EXPECT_EQ(openAppKey(false, true).get<uint32_t>("FlintMode"), row.action == Action::Repair ? 1u : 0u);
        EXPECT_FALSE(hasValue("FlintMode", false));
        const auto lines =
            mLogger->linesContaining("Setting registry keys based on install location [" + row.location + "]");
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].function, "kvx::apps::fixupMainAppKeys");
    }
}

TEST_F(FixupMainAppKeys, RunsThatWriteNothing) {
    struct Row {
        Action action;
        const char* registered;  // "InstallLocation" before the run
        const wchar_t* executable;
        int result;
        const char* line;  // logged once; none: nothing is logged
    };
    const Row rows[] = {
        {Action::Update, "C:\\Elsewhere\\Korv Desktop\\", L"C:\\Other\\KorvDestager.exe", 0, nullptr},
        {Action::Repair, nullptr, L"C:\\X\\korv desktop\\a\\b\\KorvDestager.exe", 22,
         "Install location [C:\\X\\korv desktop] does not match expected structure"},
        {Action::Repair, "C:\\Games\\Korv Desktop\\", L"C:\\Copy\\Korv Desktop\\a\\b\\KorvDestager.exe", 22,
         "Not running from the install location"},
        // A sibling whose name only extends the install folder's name is outside it too.
        {Action::Repair, "C:\\Games\\Korv Desktop\\", L"C:\\Games\\Korv Desktop2\\a\\KorvDestager.exe", 22,
         "Not running from the install location"},
        {Action::Repair, nullptr, nullptr, 24, "Failed to get current executable path: 5: "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line ? row.line : "update");
        removeWrittenValues();
        if (row.registered) {
            ASSERT_TRUE(openAppKey(true, true).set("InstallLocation", row.registered));
        }
        EXPECT_EQ(fixup(row.action, row.executable), row.result);
        EXPECT_EQ(row.line ? mLogger->linesContaining(row.line).size() : mLogger->lines().size(), row.line ? 1u : 0u);
        EXPECT_EQ(value("InstallLocation"), row.registered ? row.registered : "");
        for (const bool view64 : {true, false}) {
            for (const char* name : kWrittenValues) {
                const bool kept = row.registered && view64 && std::string_view(name) == "InstallLocation";
                EXPECT_EQ(hasValue(name, view64), kept) << name << (view64 ? " 64" : " 32");
            }
        }
    }
}

TEST_F(FixupMainAppKeys, RefusedWritesAre22ButEveryOtherValueIsWritten) {
    test::ScriptedRegistryProxy proxy;
    proxy.refuseValue = [](LPCWSTR name) {
        const std::wstring_view refused(name);
        return refused == L"ClientPath" || refused == L"InstallSuccessful" ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    };
    int result = 0;
    {
        test::ScopedRegistryProxy scoped(proxy);
        result = fixup(Action::Repair, L"C:\\X\\Korv Desktop\\a\\b\\KorvDestager.exe");
    }
    EXPECT_EQ(result, 22);
    for (const bool view64 : {true, false}) {
        EXPECT_FALSE(hasValue("ClientPath", view64));
        EXPECT_EQ(value("FaultReporterPath", view64), "C:\\X\\Korv Desktop\\Korv Desktop\\FaultReporter.exe");
    }
    EXPECT_FALSE(hasValue("FlintMode")) << "a failed key write ends the fix-up before the mode";
    const auto pathLines = mLogger->linesContaining(
        "Failed to set [ClientPath] to [C:\\X\\Korv Desktop\\Korv Desktop\\KorvDesktop.exe]");
    ASSERT_EQ(pathLines.size(), 2u);
    EXPECT_EQ(pathLines[0].function, "kvx::apps::setAppKeyPath");
    const auto flagLines = mLogger->linesContaining("Failed to set [InstallSuccessful] to [1]");
    ASSERT_EQ(flagLines.size(), 2u);
    EXPECT_EQ(flagLines[0].function, "kvx::apps::updateAppRegistryKey");
}

}  // namespace
}  // namespace kvx::apps
