// Shortcuts under Wine, whose shell link objects are the real ones: each shortcut is checked by
// reading the .lnk back through the same interfaces. Wine 8's link property store accepts the
// application user model id but keeps none (its GetValue is not implemented), so the id is not
// checked here. The desktop and the
// start menu's programs folder are redirected into a temporary folder, and the suite's programs
// are found in a client folder there as the application directory table finds them.
#include "integration/Shortcuts.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>

#include "foundation/Singleton.h"
#include "foundation/fs/FileFunctions.h"
#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "foundation/win/ComInitializer.h"
#include "framework/config/ConfigSystem.h"
#include "integration/AppCoreTestSupport.h"
#include "integration/AppDirectories.h"
#include "integration/ShellLink.h"
#include "support/Capture.h"
#include "support/ScopedFilesystem.h"
#include "support/TempFolder.h"

namespace kvx::apps::suite {
namespace {

using foundation::utils::Singleton;
using services::platform::ShortcutContent;

struct Failure {
    ShortcutStep step;
    std::string message;
    bool operator==(const Failure&) const = default;
};

class ShortcutsTest : public ::testing::Test {
protected:
    ShortcutsTest() : mConfig(Singleton<config::ConfigSystem>::create()) {
        for (const auto& entry : utils::appDirectoryTable()) {
            mRoot.writeFile(fs::Path(L"Korv Desktop") / fs::Path::fromUtf8(entry.executable), "");
        }
        // The table is filled from the running program's folder, as in an installed suite.
        {
            test::ScopedFilesystem running(
                std::make_shared<test::FakeExecutableFilesystem>(mClient / L"KorvDestager.exe"));
            utils::resolveAppDirectories();
        }
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
        return [this](ShortcutStep step, const std::string& message) {
            mFailures.push_back({step, message});
        };
    }
    std::optional<ShortcutContent> read(const fs::Path& shortcut) const {
        return services::platform::readShortcut(shortcut.utf8());
    }
    std::string exe(const char* name) const { return (mClient / fs::Path::fromUtf8(name)).utf8(); }
    bool exists(const fs::Path& path) const { return fs::filesystem().exists(path).peek(); }

    config::ConfigSystem& mConfig;
    test::TempFolder mRoot;
    const fs::Path mClient = mRoot / L"Korv Desktop";
    const fs::Path mDesktop = mRoot / L"Desktop";
    const fs::Path mSuiteFolder = mRoot / L"Programs\\Korv";
    test::ScopedAppKeyValue mNoLauncher{"LauncherAppPath", std::nullopt};
    WinUtils::ComInitializer mCom;
    test::ScopedCapturingLogger mLogger;
    std::vector<Failure> mFailures;
};

TEST_F(ShortcutsTest, ShortcutIsWrittenAndAnExistingOneReplaced) {
    ASSERT_TRUE(mCom.succeeded());
    struct Row {
        const char* arguments;
        const char* modelId;
        int32_t icon;
        size_t updateLines;
    };
    const fs::Path shortcut = mRoot / L"Links\\Test.lnk";  // its folder is made on the way
    for (const Row& row :
         {Row{"-first", "Tessory.First", 1, 0}, Row{"-second", "Tessory.KorvDesktop", 0, 1}}) {
        SCOPED_TRACE(row.arguments);
        mLogger->clear();
        ASSERT_TRUE(services::platform::createShortcut(shortcut.utf8(), exe("KorvLauncher.exe"),
                                                       mClient.utf8(), row.icon, row.arguments, row.modelId));
        const auto content = read(shortcut);
        ASSERT_TRUE(content);
        EXPECT_EQ(content->target, exe("KorvLauncher.exe"));
        EXPECT_EQ(content->arguments, row.arguments);
        EXPECT_EQ(content->workingDirectory, mClient.utf8());
        EXPECT_EQ(content->iconPath, exe("KorvLauncher.exe"));
        EXPECT_EQ(content->iconIndex, row.icon);
        EXPECT_EQ(mLogger->linesContaining("Updating existing shortcut file[" + shortcut.utf8() + "]").size(),
                  row.updateLines);
    }
}

TEST_F(ShortcutsTest, StartMenuFolderIsRebuiltAndRecoveryShortcutsKept) {
    mRoot.writeFile(L"Programs\\Pellam Beta\\Pellam Beta.lnk", "old");
    mRoot.writeFile(L"Programs\\Korv\\Korv app.lnk", "old");
    // A user-edited recovery shortcut in the client folder stays as it is.
    const fs::Path edited = mRoot.writeFile(L"Korv Desktop\\App Recovery.lnk", "edited by the player");

    createStartMenuShortcuts(sink());
    createAppRecoveryShortcut(mClient, sink());

    EXPECT_TRUE(mFailures.empty());
    EXPECT_FALSE(exists(mRoot / L"Programs\\Pellam Beta"));
    EXPECT_FALSE(exists(mSuiteFolder / L"Korv app.lnk"));
    struct Row {
        const wchar_t* name;
        const char* target;
        const char* arguments;
        int32_t icon;
    };
    for (const Row& row : {Row{L"Korv.lnk", "KorvLauncher.exe", "", 0},
                           Row{L"Korv Fault Reporter.lnk", "FaultReporter.exe", "", 0},
                           Row{L"App Recovery.lnk", "KorvLauncher.exe", "-recovery", 1},
                           Row{L"Korv Updater.lnk", "KorvUpdater.exe", "", 0}}) {
        SCOPED_TRACE(fs::Path(row.name).utf8());
        const auto content = read(mSuiteFolder / row.name);
        ASSERT_TRUE(content);
        EXPECT_EQ(content->target, exe(row.target));
        EXPECT_EQ(content->arguments, row.arguments);
        EXPECT_EQ(content->iconIndex, row.icon);
    }
    auto kept = foundation::file::readFile(edited, 100);
    ASSERT_TRUE(kept.isOk());
    EXPECT_EQ(std::string(kept.peek().begin(), kept.peek().end()), "edited by the player");
    EXPECT_EQ(createRecoveryShortcutIn(mClient.utf8(), AppPath{mClient.utf8(), exe("KorvLauncher.exe")}),
              kShortcutExisted);
}

TEST_F(ShortcutsTest, DesktopShortcutIsRefreshedButCreatedOnlyWhenWanted) {
    struct Row {
        const char* name;
        bool wanted;
        const wchar_t* existing;  // placed on the desktop first
        bool migrate;             // "machine.ktcu.migrateShortcuts"
        const char* target;       // nullptr: no shortcut afterwards
    };
    for (const Row& row :
         {Row{"update, none there", false, nullptr, false, nullptr},
          Row{"install", true, nullptr, false, "KorvLauncher.exe"},
          Row{"update, shortcut there", false, L"Korv.lnk", false, "KorvLauncher.exe"},
          Row{"update, earlier name there", false, L"Korv Desktop.lnk", false, "KorvLauncher.exe"},
          Row{"migrated to the client", true, nullptr, true, "KorvDesktop.exe"}}) {
        SCOPED_TRACE(row.name);
        (void)fs::filesystem().removeDirectory(mDesktop, true);
        mRoot.makeFolder(L"Desktop");
        if (row.existing != nullptr) {
            ASSERT_TRUE(services::platform::createShortcut((mDesktop / row.existing).utf8(),
                                                           exe("KorvGEP.exe"), mClient.utf8(), 0, "", ""));
        }
        mConfig.setBool(config::Store::Ordinary, "machine.ktcu.migrateShortcuts", row.migrate,
                        config::kScopeMachine);
        createDesktopShortcut(row.wanted, sink());
        EXPECT_TRUE(mFailures.empty());
        EXPECT_FALSE(exists(mDesktop / L"Korv Desktop.lnk"));
        const auto content = read(mDesktop / L"Korv.lnk");
        ASSERT_EQ(content.has_value(), row.target != nullptr);
        if (content) {
            EXPECT_EQ(content->target, exe(row.target));
        }
    }
}

TEST_F(ShortcutsTest, FoldersThatCannotBeWrittenReportTheirStep) {
    // A file stands where each shortcut folder would be.
    const fs::Path occupied = mRoot.writeFile(L"occupied", "a file");
    useFolders(occupied / L"Desktop", occupied / L"Programs");
    createDesktopShortcut(true, sink());
    createStartMenuShortcuts(sink());
    createAppRecoveryShortcut(occupied / L"Korv Desktop", sink());
    const std::string programs = (occupied / L"Programs\\Korv").utf8();
    EXPECT_EQ(
        mFailures,
        (std::vector<Failure>{
            {ShortcutStep::desktop,
             "Failed to create new desktop shortcut " + (occupied / L"Desktop\\Korv.lnk").utf8()},
            {ShortcutStep::startMenu, "Failed to create new start menu shortcut " + programs + "\\Korv.lnk"},
            {ShortcutStep::startMenu,
             "Failed to create new start menu shortcut " + programs + "\\Korv Fault Reporter.lnk"},
            {ShortcutStep::startMenu,
             "Failed to create app recovery start menu shortcut [App Recovery.lnk] in [" + programs + "]"},
            {ShortcutStep::startMenu,
             "Failed to create app updater start menu shortcut [Korv Updater.lnk] in [" + programs + "]"},
            {ShortcutStep::appFolder,
             "Failed to create app recovery start menu shortcut [App Recovery.lnk] in [" +
                 (occupied / L"Korv Desktop").utf8() + "]"},
        }));
    EXPECT_EQ(mLogger->linesContaining("Failed to save shortcut, result[").size(), 6u);
}

TEST_F(ShortcutsTest, UnreadableMainShortcutIsReportedAndTheOthersStillMade) {
    const fs::Path broken = mRoot.writeFile(L"Programs\\Korv\\Korv.lnk", "");
    createStartMenuShortcuts(sink());
    EXPECT_EQ(mFailures,
              (std::vector<Failure>{
                  {ShortcutStep::startMenu, "Failed to create new start menu shortcut " + broken.utf8()}}));
    EXPECT_EQ(mLogger->linesContaining("Failed to read from existing shortcut, result[").size(), 1u);
    EXPECT_TRUE(read(mSuiteFolder / L"Korv Updater.lnk"));
}

}  // namespace
}  // namespace kvx::apps::suite
