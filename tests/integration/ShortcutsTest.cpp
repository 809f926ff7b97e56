// Wine's real shell links (no application user model id), in redirected desktop and start menu folders.
#include "integration/Shortcuts.h"

#include <gtest/gtest.h>

#include <fmt/format.h>

#include "foundation/Singleton.h"
#include "foundation/fs/FileFunctions.h"
#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "foundation/win/ComInitializer.h"
#include "framework/config/ConfigSystem.h"
#include "integration/AppCoreTestSupport.h"
#include "integration/AppDirectories.h"
#include "integration/ShellLink.h"
#include "support/Capture.h"
#include "support/TempFolder.h"

namespace kvx::apps::suite {
namespace {

using foundation::utils::Singleton;
using Failures = std::vector<std::string>;

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
    Failures mFailures;
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
    EXPECT_EQ(mFailures, Failures{"Failed to create new start menu shortcut " + broken.utf8()});
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
            (Failures{
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
}  // namespace kvx::apps::suite
