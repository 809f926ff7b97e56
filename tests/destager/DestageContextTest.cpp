#include "foundation/update/DestageContext.h"

#include <gtest/gtest.h>

namespace kvx::apps {
namespace {

TEST(DestageContext, PathsFollowTheInstallRootAndTheDestagersOwnLocation) {
    const DestageContext context = buildDestageContext(
        L"C:\\Program Files\\Tessory\\Korv Desktop\\",
        L"C:\\Program Files\\Tessory\\Korv Desktop\\StagedKorvDesktop\\Korv Desktop\\KorvDestager.exe",
        176'500'000'001'234'567LL);
    const std::wstring root = L"C:\\Program Files\\Tessory\\Korv Desktop\\";
    EXPECT_EQ(context.installRoot.wide(), root);
    EXPECT_EQ(context.clientPath.wide(), root + L"Korv Desktop");
    EXPECT_EQ(context.clientExePath.wide(), root + L"Korv Desktop\\KorvDesktop.exe");
    // 100-ns units since 1970, in decimal.
    EXPECT_EQ(context.outdatedClientPath.wide(), root + L"outdatedKorvDesktop-176500000001234567");
    EXPECT_EQ(context.stagedClientPath.wide(), root + L"StagedKorvDesktop\\Korv Desktop");
    EXPECT_EQ(context.zipPath.wide(), root + L"StagedKorvDesktop.zip");
    EXPECT_EQ(context.stagedFolderName, "StagedKorvDesktop");
    EXPECT_EQ(context.stagedLinkTarget.wide(), L"StagedKorvDesktop\\Korv Desktop");
    EXPECT_FALSE(context.stagedLinkTarget.isAbsolute());
    EXPECT_EQ(context.backgroundServiceExePath.wide(), root + L"Korv Desktop\\KorvBackgroundService.exe");
}

TEST(DestageContext, StagedFolderIsTwoComponentsAboveTheExecutableWhateverItsName) {
    const DestageContext context =
        buildDestageContext(L"D:\\Games\\Korv Desktop", L"D:\\Games\\Korv Desktop\\13.700.0.1-x\\Korv Desktop\\KorvDestager.exe", 0);
    EXPECT_EQ(context.stagedFolderName, "13.700.0.1-x");
    EXPECT_EQ(context.stagedClientPath.wide(), L"D:\\Games\\Korv Desktop\\13.700.0.1-x\\Korv Desktop");
    EXPECT_EQ(context.zipPath.wide(), L"D:\\Games\\Korv Desktop\\13.700.0.1-x.zip");
    EXPECT_EQ(context.stagedLinkTarget.wide(), L"13.700.0.1-x\\Korv Desktop");
    EXPECT_EQ(context.outdatedClientPath.wide(), L"D:\\Games\\Korv Desktop\\outdatedKorvDesktop-0");
}

TEST(DestageContext, PlainModeOnlyForTheExactStagedNameInAnyCase) {
    EXPECT_TRUE(isPlainModeStagedFolder("StagedKorvDesktop"));
    EXPECT_TRUE(isPlainModeStagedFolder("stagedkorvdesktop"));
    EXPECT_TRUE(isPlainModeStagedFolder("STAGEDKORVDESKTOP"));
    EXPECT_FALSE(isPlainModeStagedFolder("StagedKorvDesktop2"));
    EXPECT_FALSE(isPlainModeStagedFolder("StagedKorvDeskto"));
    EXPECT_FALSE(isPlainModeStagedFolder(""));
}

}  // namespace
}  // namespace kvx::apps
