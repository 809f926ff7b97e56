// Start-up duties: where the suite's programs lie, the start-up banner, TLS 1.2 on old Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <fmt/format.h>

#include "foundation/TextConversion.h"
#include "foundation/registry/RegistryTestSupport.h"
#include "framework/config/ConfigSystem.h"
#include "integration/AppCoreTestSupport.h"
#include "integration/AppDirectories.h"
#include "integration/AppInfo.h"
#include "integration/Tls12Support.h"
#include "kvx/BuildVersion.h"
#include "support/Capture.h"
#include "support/ScopedFilesystem.h"
#include "support/TempFolder.h"

namespace kvx::apps::utils {
namespace {

using Lines = std::vector<std::string>;

// What was logged, every line an information from `function`.
Lines messagesFrom(const test::CapturingLogger& logger, std::string_view function) {
    Lines messages;
    for (const auto& line : logger.lines()) {
        EXPECT_EQ(line.level, services::logging::Info);
        EXPECT_EQ(line.function, function);
        messages.push_back(line.message);
    }
    return messages;
}

// "I" holds an install (its location is named "Korv Desktop"), with the live client and a staged one;
// "uninstall" and "korvUpdater" stand in drive-root folders any user may create.
TEST(AppDirectories, FoundInsideTheInstallOrInBuildFoldersNeverAboveAnInstall) {
    test::TempFolder root;
    const std::wstring install = L"I\\Korv Desktop\\";
    const std::wstring live = install + L"Korv Desktop";
    const std::wstring staged = install + L"StagedKorvDesktop\\";
    for (const std::wstring& file :
         {live + L"\\KorvLauncher.exe", live + L"\\KorvDesktop.exe", staged + L"Korv Desktop\\KorvGEP.exe",
          std::wstring(L"Other\\Korv Desktop\\KorvUninstall.exe"), std::wstring(L"uninstall\\KorvUninstall.exe"),
          std::wstring(L"build\\launchHelper\\test\\KorvLaunchHelper.exe"),
          std::wstring(L"build\\desktop\\KorvDesktop.exe"), std::wstring(L"KorvUpdater.exe"),
          std::wstring(L"korvUpdater\\KorvUpdater.exe")}) {
        root.writeFile(file, "");
    }
    const std::wstring fromStaged = staged + L"Korv Desktop\\KorvDestager.exe";
    const std::wstring developer = L"build\\destager\\test\\KorvDestager.exe";
    const struct {
        const wchar_t* launcher;  // registered "LauncherAppPath"; none: absent
        bool installRegistered;   // "InstallLocation" names "I\Korv Desktop"
        std::wstring running;
        const char* buildFolder;
        const char* appName;
        bool searchTestOutput;
        std::wstring found;  // empty: not found
    } rows[] = {
        {L"I\\Korv Desktop\\Korv Desktop\\KorvLauncher.exe", false, staged + L"Destager\\KorvDestager.exe",
         "desktop", "KorvDesktop.exe", false, live},
        {L"I\\Korv Desktop\\Korv Desktop\\KorvLauncher.exe", false, fromStaged, "gameElevationProxy", "KorvGEP.exe",
         false, staged + L"Korv Desktop"},
        {nullptr, false, live + L"\\KorvDestager.exe", "desktop", "KorvDesktop.exe", false, live},
        // Planted above the install, or registered outside it: never taken.
        {nullptr, false, fromStaged, "uninstall", "KorvUninstall.exe", false, L""},
        {nullptr, false, staged + L"KORV DESKTOP\\KorvDestager.exe", "uninstall", "KorvUninstall.exe", false, L""},
        {L"Other\\Korv Desktop\\KorvLauncher.exe", false, fromStaged, "uninstall", "KorvUninstall.exe", false, L""},
        {nullptr, true, staged + L"Other\\KorvDestager.exe", "korvUpdater", "KorvUpdater.exe", false, L""},
        {nullptr, false, developer, "desktop", "KorvDesktop.exe", false, L"build\\desktop"},
        {nullptr, false, developer, "launchHelper", "KorvLaunchHelper.exe", true, L"build\\launchHelper\\test"},
        {nullptr, false, developer, "launchHelper", "KorvLaunchHelper.exe", false, L""},
        // Two levels further up, and never a loose copy outside its build folder.
        {nullptr, false, developer, "korvUpdater", "KorvUpdater.exe", false, L"korvUpdater"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(fmt::format("{} from {}", row.appName, fs::Path(row.running).utf8()));
        test::ScopedAppKeyValue registered(
            "LauncherAppPath", row.launcher ? std::optional((root / row.launcher).wide()) : std::nullopt);
        test::ScopedAppKeyValue location(
            "InstallLocation", row.installRegistered ? std::optional((root / install).wide()) : std::nullopt);
        test::ScopedFilesystem running(std::make_shared<test::FakeExecutableFilesystem>(root / row.running));
        test::ScopedAssertCapture asserts;
        EXPECT_EQ(getAppDirectoryFor(row.buildFolder, row.appName, row.searchTestOutput),
                  row.found.empty() ? "" : (root / row.found).utf8());
        const std::string failed = fmt::format("getAppDirectoryFor failed.  appBuildFolder[{}] appName[{}]",
                                               row.buildFolder, row.appName);
        EXPECT_EQ(asserts.messages(), row.found.empty() ? Lines{failed} : Lines{});
    }
}

TEST(AppInfo, FourStartupLinesInOrder) {
    auto& config = foundation::utils::Singleton<config::ConfigSystem>::create();
    config.set(config::Store::Ordinary, "app.environment", "integration", config::kScopeStatic);
    test::ScopedCapturingLogger logger;
    const char* argv[] = {"KorvDestager.exe", "--action=repair", "-noclient"};
    logAppInfo(argv, 3, "KorvDestager");
    // Without configuration the environment is empty, which is production.
    foundation::utils::Singleton<config::ConfigSystem>::destroy();
    logAppInfo(nullptr, 0, "KorvDestager");
    wchar_t module[MAX_PATH];
    const std::wstring_view path(module, GetModuleFileNameW(nullptr, module, MAX_PATH));
    Lines expected;
    for (const auto& [environment, commandLine] :
         {std::pair{"integration", "KorvDestager.exe --action=repair -noclient"}, {"production", ""}}) {
        expected.push_back(
            fmt::format("[STARTUP] app[KorvDestager], configurable[false], buildType[opt], env[{}], "
                        "processId[{}]",
                        environment, GetCurrentProcessId()));
        expected.push_back(std::string("Version: ") + kBuildVersion);
        expected.push_back(fmt::format("Command line: [{}]", commandLine));
        expected.push_back("Canonical path: [" + foundation::narrow(path, KVX_SOURCE_LOCATION) + "]");
    }
    EXPECT_EQ(messagesFrom(*logger, "kvx::apps::utils::logAppInfo"), expected);
}

// Below a test key instead of the machine's or user's own root.
TEST(Tls12Support, OldWindowsGetsTheProtocolBitsAndTheClientOnlyWhenMissing) {
    constexpr const char* kSettings = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    constexpr const char* kClient =
        "SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\Protocols\\TLS 1.2\\Client";
    test::ScopedTestKey testKey{"tls12"};
    const foundation::RegistryKey root = testKey.open(true);
    test::ScopedCapturingLogger logger;
    const auto key = [&](const std::string& path) {
        return foundation::RegistryKey(root.handle(), path, true, true);
    };
    const auto run = [&](bool windows81OrLater) {
        logger->clear();
        enableTls12ClientSupport({[=] { return windows81OrLater; }, [&] { return root.handle(); }});
        return messagesFrom(*logger, "kvx::apps::utils::enableTls12ClientSupport");
    };

    EXPECT_EQ(run(true), Lines{});
    EXPECT_FALSE(root.subkeyExists("Software", true) || root.subkeyExists("SYSTEM", true));
    ASSERT_TRUE(key(kSettings).set("SecureProtocols", 0xA0));
    EXPECT_EQ(run(false),
              (Lines{"Enabling TLS 1.2 in SecureProtocols", "Enabling TLS 1.2 in DefaultSecureProtocols",
                     "Enabling TLS 1.2 in SecurityProviders"}));
    EXPECT_EQ(run(false), Lines{});
    EXPECT_EQ(key(kSettings).get<uint32_t>("SecureProtocols"), 0x8A0u);
    EXPECT_EQ(key(std::string(kSettings) + "\\WinHttp").get<uint32_t>("DefaultSecureProtocols"), 0x800u);
    EXPECT_EQ(key(kClient).get<uint32_t>("Enabled"), 1u);
    // A client enabled but disabled by default is not usable.
    ASSERT_TRUE(key(kClient).set("DisabledByDefault", 1));
    EXPECT_EQ(run(false), Lines{"Enabling TLS 1.2 in SecurityProviders"});
    EXPECT_EQ(key(kClient).get<uint32_t>("DisabledByDefault"), 0u);
}

}  // namespace
}  // namespace kvx::apps::utils
