#include "integration/AppRegistryKeys.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "integration/AppKey.h"
#include "support/Capture.h"
#include "support/ForwardingFilesystem.h"
#include "support/ScopedFilesystem.h"

namespace kvx::apps {
namespace {

using destager::Action;
using destager::DestagerOptions;
using destager::Mode;

constexpr const char* kWrittenValues[] = {
    "InstallLocation",   "LauncherAppPath",   "ClientPath", "KorvConnectMsAppPath",
    "FaultReporterPath", "InstallSuccessful", "FlintMode"};

// The running executable as the test says; nothing means the path cannot be found.
class ExecutablePathFilesystem final : public test::ForwardingFilesystem {
public:
    std::optional<fs::Path> executable;
    Result<fs::Path, fs::OsError> executablePath() override {
        if (!executable) {
            return Err{fs::OsError{ERROR_ACCESS_DENIED}};
        }
        return Ok{*executable};
    }
};

// Forwards to Windows but refuses to write the named values.
class RefusingRegistryProxy final : public foundation::IWindowsRegistryProxy {
public:
    std::set<std::wstring> refused;

    LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                           DWORD size) override {
        return refused.contains(name) ? ERROR_ACCESS_DENIED
                                      : real().RegSetValueExW(key, name, reserved, type, data, size);
    }
    LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM sam, PHKEY result) override {
        return real().RegOpenKeyExW(key, subKey, options, sam, result);
    }
    LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                             LPDWORD size) override {
        return real().RegQueryValueExW(key, name, reserved, type, data, size);
    }
    LSTATUS RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR value, DWORD flags, LPDWORD type, PVOID data,
                         LPDWORD size) override {
        return real().RegGetValueW(key, subKey, value, flags, type, data, size);
    }
    LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                            REGSAM sam, const LPSECURITY_ATTRIBUTES attributes, PHKEY result,
                            LPDWORD disposition) override {
        return real().RegCreateKeyExW(key, subKey, reserved, keyClass, options, sam, attributes, result,
                                      disposition);
    }
    LSTATUS RegCloseKey(HKEY key) override { return real().RegCloseKey(key); }
    LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey) override { return real().RegDeleteTreeW(key, subKey); }
    LSTATUS RegDeleteKeyExW(HKEY key, LPCWSTR subKey, REGSAM sam, DWORD reserved) override {
        return real().RegDeleteKeyExW(key, subKey, sam, reserved);
    }
    LSTATUS RegDeleteValueW(HKEY key, LPCWSTR name) override { return real().RegDeleteValueW(key, name); }

private:
    static foundation::IWindowsRegistryProxy& real() { return foundation::WindowsRegistryProxy::instance(); }
};

// The app key of the test prefix's real registry, in both views; every value the fix-up writes is
// removed before and after each test.
class FixupMainAppKeys : public ::testing::Test {
protected:
    void SetUp() override { removeWrittenValues(); }
    void TearDown() override {
        foundation::setSpecialDirectoryRedirections({});
        removeWrittenValues();
    }
    static void removeWrittenValues() {
        for (const bool view64 : {true, false}) {
            foundation::RegistryKey key = openAppKey(true, view64);
            for (const char* name : kWrittenValues) {
                key.deleteValue(name);
            }
        }
    }
    int fixup(Action action, const wchar_t* executable, Mode mode = Mode::Unspecified) {
        mFilesystem->executable = fs::Path(executable);
        DestagerOptions options;
        options.action = action;
        options.mode = mode;
        return fixupMainAppKeys(options);
    }
    static std::string value(const char* name, bool view64 = true) {
        return openAppKey(false, view64).get<std::string>(name);
    }
    static bool hasValue(const char* name, bool view64) {
        return openAppKey(false, view64).valueExists(name);
    }
    static bool nothingWritten() {
        for (const bool view64 : {true, false}) {
            for (const char* name : kWrittenValues) {
                if (hasValue(name, view64)) {
                    return false;
                }
            }
        }
        return true;
    }

    test::ScopedCapturingLogger mLogger;
    test::ScopedFilesystem<ExecutablePathFilesystem> mFilesystem{
        std::make_shared<ExecutablePathFilesystem>()};
};

TEST_F(FixupMainAppKeys, UpdateWithARegisteredInstallLocationChangesNothing) {
    ASSERT_TRUE(openAppKey(true, true).set("InstallLocation", "C:\\Elsewhere\\Korv Desktop\\"));
    EXPECT_EQ(fixup(Action::Update, L"C:\\Other\\KorvDestager.exe"), 0);
    EXPECT_EQ(value("InstallLocation"), "C:\\Elsewhere\\Korv Desktop\\");
    EXPECT_FALSE(hasValue("ClientPath", true));
    EXPECT_FALSE(hasValue("InstallLocation", false));
    EXPECT_TRUE(mLogger->lines().empty());
}

TEST_F(FixupMainAppKeys, RepairFromTheStagedCopyWritesBothViewsThenFlintMode) {
    EXPECT_EQ(fixup(Action::Repair, L"C:\\X\\Korv Desktop\\a\\b\\KorvDestager.exe", Mode::Flint), 0);
    for (const bool view64 : {true, false}) {
        SCOPED_TRACE(view64 ? "64-bit view" : "32-bit view");
        // The install location keeps a trailing separator, the executable paths do not.
        EXPECT_EQ(value("InstallLocation", view64), "C:\\X\\Korv Desktop\\");
        EXPECT_EQ(value("LauncherAppPath", view64), "C:\\X\\Korv Desktop\\Korv Desktop\\KorvLauncher.exe");
        EXPECT_EQ(value("ClientPath", view64), "C:\\X\\Korv Desktop\\Korv Desktop\\KorvDesktop.exe");
        EXPECT_EQ(value("KorvConnectMsAppPath", view64),
                  "C:\\X\\Korv Desktop\\Korv Desktop\\KorvConnect_microsoft.exe");
        EXPECT_EQ(value("FaultReporterPath", view64), "C:\\X\\Korv Desktop\\Korv Desktop\\FaultReporter.exe");
        EXPECT_EQ(openAppKey(false, view64).get<uint32_t>("InstallSuccessful"), 1u);
    }
    EXPECT_EQ(openAppKey(false, true).get<uint32_t>("FlintMode"), 1u);
    EXPECT_TRUE(hasValue("FlintMode", true));
    EXPECT_FALSE(hasValue("FlintMode", false));
    const auto lines =
        mLogger->linesContaining("Setting registry keys based on install location [C:\\X\\Korv Desktop]");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].function, "kvx::apps::fixupMainAppKeys");
}

TEST_F(FixupMainAppKeys, UpdateWithoutRegistrationUsesTheProgramFilesDefault) {
    foundation::setSpecialDirectoryRedirections(
        {{foundation::SpecialDirectory::programFiles, "D:\\Programs"}});
    EXPECT_EQ(fixup(Action::Update,
                    L"D:\\Programs\\Tessory\\Korv Desktop\\StagedKorvDesktop\\Korv Desktop\\"
                    L"KorvDestager.exe"),
              0);
    EXPECT_EQ(value("InstallLocation", false), "D:\\Programs\\Tessory\\Korv Desktop\\");
    EXPECT_FALSE(hasValue("FlintMode", true)) << "an update leaves the mode alone";
}

TEST_F(FixupMainAppKeys, WrongShapeOrForeignExecutableWritesNothing) {
    EXPECT_EQ(fixup(Action::Repair, L"C:\\X\\korv desktop\\a\\b\\KorvDestager.exe"), 22);
    EXPECT_EQ(
        mLogger->linesContaining("Install location [C:\\X\\korv desktop] does not match expected structure")
            .size(),
        1u);

    ASSERT_TRUE(openAppKey(true, true).set("InstallLocation", "C:\\Games\\Korv Desktop\\"));
    EXPECT_EQ(fixup(Action::Repair, L"C:\\Copy\\Korv Desktop\\a\\b\\KorvDestager.exe"), 22);
    // A sibling whose name only extends the install folder's name is outside it too.
    EXPECT_EQ(fixup(Action::Repair, L"C:\\Games\\Korv Desktop2\\a\\KorvDestager.exe"), 22);
    EXPECT_EQ(mLogger->linesContaining("Not running from the install location").size(), 2u);
    openAppKey(true, true).deleteValue("InstallLocation");
    EXPECT_TRUE(nothingWritten());
}

TEST_F(FixupMainAppKeys, UnknownExecutablePathIs24) {
    DestagerOptions options;
    EXPECT_EQ(fixupMainAppKeys(options), 24);
    EXPECT_EQ(mLogger->linesContaining("Failed to get current executable path: 5: ").size(), 1u);
}

TEST_F(FixupMainAppKeys, RefusedWritesAre22ButEveryOtherValueIsWritten) {
    RefusingRegistryProxy proxy;
    proxy.refused = {L"ClientPath", L"InstallSuccessful"};
    foundation::IWindowsRegistryProxy* previous = foundation::replaceRegistryProxy(&proxy);
    const int result = fixup(Action::Repair, L"C:\\X\\Korv Desktop\\a\\b\\KorvDestager.exe");
    foundation::replaceRegistryProxy(previous);

    EXPECT_EQ(result, 22);
    for (const bool view64 : {true, false}) {
        EXPECT_FALSE(hasValue("ClientPath", view64));
        EXPECT_EQ(value("FaultReporterPath", view64), "C:\\X\\Korv Desktop\\Korv Desktop\\FaultReporter.exe");
    }
    EXPECT_FALSE(hasValue("FlintMode", true)) << "a failed key write ends the fix-up before the mode";
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
