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

// "I" the registered install, "J" another; "uninstall", "korvUpdater": drive-root folders anyone may make.
TEST(AppDirectories, FoundInsideTheInstallOrInBuildFoldersNeverAboveAnInstall) {
    test::TempFolder root;
    const std::wstring install = L"I\\Korv Desktop\\";
    const std::wstring live = install + L"Korv Desktop";
    const std::wstring staged = install + L"StagedKorvDesktop\\";
    for (const std::wstring& file : std::initializer_list<std::wstring>{
             live + L"\\KorvLauncher.exe", live + L"\\KorvDesktop.exe", staged + L"Korv Desktop\\KorvGEP.exe",
             L"Other\\Korv Desktop\\KorvUninstall.exe", L"uninstall\\KorvUninstall.exe", L"KorvUpdater.exe",
             L"build\\launchHelper\\test\\KorvLaunchHelper.exe", L"build\\desktop\\KorvDesktop.exe",
             L"build\\korvUpdater\\test\\KorvUpdater.exe", L"korvUpdater\\KorvUpdater.exe"}) {
        root.writeFile(file, "");
    }
    const std::wstring fromStaged = staged + L"Korv Desktop\\KorvDestager.exe";
    const std::wstring developer = L"build\\destager\\test\\KorvDestager.exe";
    const wchar_t* launcher = L"I\\Korv Desktop\\Korv Desktop\\KorvLauncher.exe";
    const struct {
        const wchar_t* launcher;  // registered "LauncherAppPath"; none: absent
        std::wstring running;
        AppDirectory app;
        std::wstring found;  // empty: not found
    } rows[] = {
        {launcher, staged + L"Destager\\KorvDestager.exe", AppDirectory::desktop, live},
        {launcher, fromStaged, AppDirectory::gameElevationProxy, live},  // where the swap puts it
        {nullptr, live + L"\\KorvDestager.exe", AppDirectory::desktop, live},
        // Planted above the install, or registered outside it: never taken.
        {nullptr, fromStaged, AppDirectory::uninstall, L""},
        {nullptr, L"J\\Korv Desktop\\X\\KORV DESKTOP\\KorvDestager.exe", AppDirectory::uninstall, L""},
        {L"Other\\Korv Desktop\\KorvLauncher.exe", fromStaged, AppDirectory::uninstall, L""},
        {nullptr, staged + L"Other\\KorvDestager.exe", AppDirectory::korvUpdater, L""},
        {nullptr, developer, AppDirectory::desktop, L"build\\desktop"},
        {nullptr, developer, AppDirectory::launchHelper, L"build\\launchHelper\\test"},
        // Two levels further up: not its test output (searched for some programs only), nor a loose copy.
        {nullptr, developer, AppDirectory::korvUpdater, L"korvUpdater"},
    };
    test::ScopedAppKeyValue location("InstallLocation", (root / install).wide());
    for (const auto& row : rows) {
        const AppDirectoryEntry& entry = appDirectoryTable()[static_cast<size_t>(row.app)];
        SCOPED_TRACE(fmt::format("{} from {}", entry.executable, fs::Path(row.running).utf8()));
        test::ScopedAppKeyValue registered(
            "LauncherAppPath", row.launcher ? std::optional((root / row.launcher).wide()) : std::nullopt);
        test::ScopedFilesystem running(std::make_shared<test::FakeExecutableFilesystem>(root / row.running));
        test::ScopedAssertCapture asserts;
        EXPECT_EQ(getAppDirectoryFor(entry.buildFolder, entry.executable, entry.searchTestOutput),
                  row.found.empty() ? "" : (root / row.found).utf8());
        const std::string failed = fmt::format("getAppDirectoryFor failed.  appBuildFolder[{}] appName[{}]",
                                               entry.buildFolder, entry.executable);
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
