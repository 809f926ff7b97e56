// Start-up duties: where the suite's programs lie, the start-up banner, TLS 1.2 on old Windows; and the
// shortcuts to those programs, as Wine's real shell links (no application user model id) in redirected
// desktop and start menu folders.
#include <windows.h>

#include <gtest/gtest.h>

#include <fmt/format.h>

#include "foundation/Singleton.h"
#include "foundation/TextConversion.h"
#include "foundation/fs/FileFunctions.h"
#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "foundation/registry/RegistryTestSupport.h"
#include "foundation/win/ComInitializer.h"
#include "framework/config/ConfigSystem.h"
#include "integration/AppCoreTestSupport.h"
#include "integration/AppDirectories.h"
#include "integration/AppInfo.h"
#include "integration/ShellLink.h"
#include "integration/Shortcuts.h"
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

using namespace suite;
using foundation::utils::Singleton;

class ShortcutsTest : public ::testing::Test {
protected:
    ShortcutsTest() : mConfig(Singleton<config::ConfigSystem>::create()) {
        for (const auto& entry : utils::appDirectoryTable()) {
            mRoot.writeFile(fs::Path(L"Korv Desktop\\Korv Desktop") / fs::Path::fromUtf8(entry.executable),
                            "");
        }
        test::resolveAppDirectoriesFrom(mClient / L"KorvDestager.exe");
        useFolders(mRoot.makeFolder(L"Desktop"), mRoot.makeFolder(L"Programs"));
    }
    ~ShortcutsTest() override {
        foundation::setSpecialDirectoryRedirections({});
        Singleton<config::ConfigSystem>::destroy();
    }
    void useFolders(const fs::Path& desktop, const fs::Path& programs) {
        foundation::setSpecialDirectoryRedirections(
            {{foundation::SpecialDirectory::commonDesktop, desktop.utf8()},
             {foundation::SpecialDirectory::commonProgramsShortcuts, programs.utf8()}});
    }
    ShortcutErrorSink sink() {
        return [this](ShortcutStep, const std::string& message) { mFailures.push_back(message); };
    }
    // What a shortcut starts; empty when it cannot be read.
    static std::string read(const fs::Path& shortcut) {
        const auto link = services::platform::readShortcut(shortcut.utf8());
        return link ? fmt::format("{} [{}] in {}, icon {} of {}", link->target, link->arguments,
                                  link->workingDirectory, link->iconIndex, link->iconPath)
                    : "";
    }
    // The same for a program of the client folder, also the working directory and icon.
    std::string starts(const char* program, const char* arguments = "", int icon = 0) const {
        const std::string exe = (mClient / fs::Path::fromUtf8(program)).utf8();
        return fmt::format("{} [{}] in {}, icon {} of {}", exe, arguments, mClient.utf8(), icon, exe);
    }
    bool exists(const fs::Path& path) const { return fs::filesystem().exists(path).peek(); }

    config::ConfigSystem& mConfig;
    test::TempFolder mRoot;
    const fs::Path mClient = mRoot / L"Korv Desktop\\Korv Desktop";  // live, in an install
    const fs::Path mDesktop = mRoot / L"Desktop";
    const fs::Path mSuiteFolder = mRoot / L"Programs\\Korv";
    test::ScopedAppKeyValue mNoLauncher{"LauncherAppPath", std::nullopt};
    WinUtils::ComInitializer mCom;
    test::ScopedCapturingLogger mLogger;
    Lines mFailures;
};

TEST_F(ShortcutsTest, StartMenuFolderIsRebuiltAndRecoveryShortcutsKept) {
    ASSERT_TRUE(mCom.succeeded());
    mRoot.writeFile(L"Programs\\Pellam Beta\\Pellam Beta.lnk", "old");
    mRoot.writeFile(L"Programs\\Korv\\Korv app.lnk", "old");
    // A user-edited recovery shortcut in the client folder stays as it is.
    const fs::Path edited =
        mRoot.writeFile(L"Korv Desktop\\Korv Desktop\\App Recovery.lnk", "edited by the player");

    createStartMenuShortcuts(sink());
    createAppRecoveryShortcut(mClient, sink());
    EXPECT_TRUE(mFailures.empty());
    EXPECT_FALSE(exists(mRoot / L"Programs\\Pellam Beta"));
    EXPECT_FALSE(exists(mSuiteFolder / L"Korv app.lnk"));
    EXPECT_EQ(read(mSuiteFolder / L"Korv.lnk"), starts("KorvLauncher.exe"));
    EXPECT_EQ(read(mSuiteFolder / L"Korv Fault Reporter.lnk"), starts("FaultReporter.exe"));
    EXPECT_EQ(read(mSuiteFolder / L"App Recovery.lnk"), starts("KorvLauncher.exe", "-recovery", 1));
    EXPECT_EQ(read(mSuiteFolder / L"Korv Updater.lnk"), starts("KorvUpdater.exe"));
    auto kept = foundation::file::readFile(edited, 100);
    ASSERT_TRUE(kept.isOk());
    EXPECT_EQ(std::string(kept.peek().begin(), kept.peek().end()), "edited by the player");
    EXPECT_EQ(createRecoveryShortcutIn(mClient.utf8(), AppPath{mClient.utf8(), ""}), kShortcutExisted);
}

TEST_F(ShortcutsTest, DesktopShortcutIsRefreshedButCreatedOnlyWhenWanted) {
    struct Row {
        const char* name;
        bool wanted;
        const wchar_t* existing;  // placed on the desktop first, starting another program
        bool migrate;             // "machine.ktcu.migrateShortcuts"
        const char* target;       // none: no shortcut afterwards
    };
    for (const Row& row :
         {Row{"update, none there", false, nullptr, false, nullptr},
          Row{"install", true, nullptr, false, "KorvLauncher.exe"},
          Row{"update, shortcut there", false, L"Korv.lnk", false, "KorvLauncher.exe"},
          Row{"update, earlier name there", false, L"Korv Desktop.lnk", false, "KorvLauncher.exe"},
          Row{"install, earlier name there", true, L"Korv Desktop.lnk", false, "KorvLauncher.exe"},
          Row{"migrated to the client", true, nullptr, true, "KorvDesktop.exe"}}) {
        SCOPED_TRACE(row.name);
        (void)fs::filesystem().removeDirectory(mDesktop, true);
        mRoot.makeFolder(L"Desktop");
        if (row.existing != nullptr) {
            ASSERT_TRUE(services::platform::createShortcut((mDesktop / row.existing).utf8(),
                                                           (mClient / L"KorvGEP.exe").utf8(), "", 0, "", ""));
        }
        mConfig.setBool(config::Store::Ordinary, "machine.ktcu.migrateShortcuts", row.migrate,
                        config::kScopeMachine);
        mLogger->clear();
        createDesktopShortcut(row.wanted, sink());
        EXPECT_TRUE(mFailures.empty());
        EXPECT_FALSE(exists(mDesktop / L"Korv Desktop.lnk"));
        EXPECT_EQ(read(mDesktop / L"Korv.lnk"), row.target ? starts(row.target) : "");
        const bool rewritten = row.existing && std::wstring_view(row.existing) == L"Korv.lnk";
        const std::string line = "Updating existing shortcut file[" + (mDesktop / L"Korv.lnk").utf8() + "]";
        EXPECT_EQ(mLogger->count(line), rewritten ? 1u : 0u);
    }
}

// Folders taken by a file, or programs found nowhere in the install: each shortcut reports its failure.
TEST_F(ShortcutsTest, ShortcutsThatCannotBeWrittenReportWhy) {
    // An unreadable main shortcut is reported and the others are still made.
    const fs::Path broken = mRoot.writeFile(L"Programs\\Korv\\Korv.lnk", "");
    createStartMenuShortcuts(sink());
    EXPECT_EQ(mFailures, Lines{"Failed to create new start menu shortcut " + broken.utf8()});
    EXPECT_EQ(mLogger->count("Failed to read from existing shortcut, result["), 1u);
    EXPECT_EQ(read(mSuiteFolder / L"Korv Updater.lnk"), starts("KorvUpdater.exe"));

    for (const bool foldersOccupied : {true, false}) {
        SCOPED_TRACE(foldersOccupied);
        const fs::Path base = foldersOccupied ? mRoot.writeFile(L"occupied", "a file") : mRoot / L"fresh";
        useFolders(base / L"Desktop", base / L"Programs");
        test::resolveAppDirectoriesFrom((foldersOccupied ? mClient : mRoot / L"Elsewhere\\Korv Desktop") /
                                        L"KorvDestager.exe");
        mFailures.clear();
        mLogger->clear();
        createDesktopShortcut(true, sink());
        createStartMenuShortcuts(sink());
        createAppRecoveryShortcut(base / L"Korv Desktop", sink());
        const std::string programs = (base / L"Programs\\Korv").utf8();
        const std::string recovery =
            "Failed to create app recovery start menu shortcut [App Recovery.lnk] in [";
        EXPECT_EQ(
            mFailures,
            (Lines{
                "Failed to create new desktop shortcut " + (base / L"Desktop\\Korv.lnk").utf8(),
                "Failed to create new start menu shortcut " + programs + "\\Korv.lnk",
                "Failed to create new start menu shortcut " + programs + "\\Korv Fault Reporter.lnk",
                recovery + programs + "]",
                "Failed to create app updater start menu shortcut [Korv Updater.lnk] in [" + programs + "]",
                recovery + (base / L"Korv Desktop").utf8() + "]",
            }));
        EXPECT_EQ(mLogger->count("Failed to save shortcut, result["), foldersOccupied ? 6u : 0u);
    }
}

}  // namespace
}  // namespace kvx::apps::utils
