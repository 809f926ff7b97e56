#include <gtest/gtest.h>

#include "integration/AppCoreTestSupport.h"
#include "integration/AppDirectories.h"
#include "support/Capture.h"
#include "support/ScopedFilesystem.h"
#include "support/TempFolder.h"

namespace kvx::apps::utils {
namespace {

class AppDirectoriesTest : public ::testing::Test {
protected:
    // The running program is reported at `relative` below the temporary folder.
    void runFrom(const wchar_t* relative) {
        mFilesystem.emplace(std::make_shared<test::FakeExecutableFilesystem>(mRoot / relative));
    }
    std::string folder(const wchar_t* relative) const { return (mRoot / relative).utf8(); }
    std::string find(const char* buildFolder, const char* appName, bool searchTestOutput) {
        return getAppDirectoryFor(buildFolder, appName, searchTestOutput);
    }

    test::TempFolder mRoot;
    test::ScopedAppKeyValue mNoLauncher{"LauncherAppPath", std::nullopt};
    std::optional<test::ScopedFilesystem<test::FakeExecutableFilesystem>> mFilesystem;
    test::ScopedAssertCapture mAsserts;
};

TEST_F(AppDirectoriesTest, RegisteredLauncherFolderComesFirst) {
    mRoot.writeFile(L"Installed\\Korv Desktop\\KorvLauncher.exe", "");
    mRoot.writeFile(L"Installed\\Korv Desktop\\KorvDesktop.exe", "");
    mRoot.writeFile(L"Destager\\KorvDesktop.exe", "");
    mRoot.writeFile(L"Destager\\KorvGEP.exe", "");
    test::ScopedAppKeyValue launcher("LauncherAppPath", (mRoot / L"Installed\\Korv Desktop\\KorvLauncher.exe").wide());
    runFrom(L"Destager\\KorvDestager.exe");

    EXPECT_EQ(find("desktop", "KorvDesktop.exe", false), folder(L"Installed\\Korv Desktop"));
    // Not beside the launcher: the program's own folder, named as an installed one is.
    EXPECT_EQ(find("gameElevationProxy", "KorvGEP.exe", false), folder(L"Destager"));
    EXPECT_TRUE(mAsserts.asserts().empty());
}

TEST_F(AppDirectoriesTest, OwnFolderCountsOnlyUnderAnInstalledName) {
    mRoot.writeFile(L"Elsewhere\\KorvUninstall.exe", "");
    mRoot.writeFile(L"Korv Desktop\\KorvUninstall.exe", "");
    runFrom(L"Elsewhere\\KorvDestager.exe");
    EXPECT_EQ(find("uninstall", "KorvUninstall.exe", false), "");
    ASSERT_EQ(mAsserts.asserts().size(), 1u);
    EXPECT_EQ(mAsserts.asserts()[0].condition, "pathFound");
    EXPECT_EQ(mAsserts.asserts()[0].message, "getAppDirectoryFor failed.  appBuildFolder[uninstall] appName[KorvUninstall.exe]");

    runFrom(L"Korv Desktop\\KorvDestager.exe");
    EXPECT_EQ(find("uninstall", "KorvUninstall.exe", false), folder(L"Korv Desktop"));
    EXPECT_EQ(mAsserts.asserts().size(), 1u);
}

TEST_F(AppDirectoriesTest, DeveloperBuildFoldersAboveTheProgram) {
    mRoot.writeFile(L"build\\launchHelper\\test\\KorvLaunchHelper.exe", "");
    mRoot.writeFile(L"build\\desktop\\KorvDesktop.exe", "");
    mRoot.writeFile(L"KorvUpdater.exe", "");
    mRoot.writeFile(L"korvUpdater\\KorvUpdater.exe", "");
    runFrom(L"build\\destager\\test\\KorvDestager.exe");

    EXPECT_EQ(find("desktop", "KorvDesktop.exe", false), folder(L"build\\desktop"));
    EXPECT_EQ(find("launchHelper", "KorvLaunchHelper.exe", true), folder(L"build\\launchHelper\\test"));
    // Two levels further up, and never a loose copy outside its build folder.
    EXPECT_EQ(find("korvUpdater", "KorvUpdater.exe", false), folder(L"korvUpdater"));
    EXPECT_TRUE(mAsserts.asserts().empty());

    EXPECT_EQ(find("launchHelper", "KorvLaunchHelper.exe", false), "");
    EXPECT_EQ(mAsserts.messages(),
              (std::vector<std::string>{"getAppDirectoryFor failed.  appBuildFolder[launchHelper] appName[KorvLaunchHelper.exe]"}));
}

TEST_F(AppDirectoriesTest, TheTableResolvesEveryProgramOfAnInstalledFolder) {
    for (const auto& entry : appDirectoryTable()) {
        mRoot.writeFile(fs::Path(L"Korv Desktop") / fs::Path::fromUtf8(entry.executable), "");
    }
    runFrom(L"Korv Desktop\\KorvDestager.exe");
    resolveAppDirectories();
    EXPECT_TRUE(mAsserts.asserts().empty());
    for (size_t i = 0; i < kAppDirectoryCount; ++i) {
        EXPECT_EQ(appDirectory(static_cast<AppDirectory>(i)), folder(L"Korv Desktop")) << i;
    }
    EXPECT_EQ(appDirectoryTable()[static_cast<size_t>(AppDirectory::gameElevationProxy)].executable,
              std::string("KorvGEP.exe"));
    EXPECT_EQ(getKorvConnectDirectory(), folder(L"Korv Desktop"));
}

}  // namespace
}  // namespace kvx::apps::utils
