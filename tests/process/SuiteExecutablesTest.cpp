#include "process/SuiteExecutables.h"

#include "foundation/fs/PathRules.h"

#include <gtest/gtest.h>

namespace kvx::apps::suite {
namespace {

TEST(SuiteExecutables, OwnNameIsLeftOffOnlyInTheRepairMode) {
    const auto repair = getKnownExecutables(kStopModeRepair);
    EXPECT_EQ(repair.size(), 16u);
    EXPECT_EQ(repair.count("KorvDestager.exe"), 0u);
    EXPECT_EQ(repair.count("KorvDesktop.exe"), 1u);
    EXPECT_EQ(repair.count("PellamLegacyCompatibility.exe"), 1u);
    EXPECT_EQ(repair.count("KorvBackgroundService.exe"), 0u);
    for (StopMode mode : {kStopModeKeepService, kStopModeWithSelf}) {
        const auto names = getKnownExecutables(mode);
        EXPECT_EQ(names.size(), 17u);
        EXPECT_EQ(names.count("KorvDestager.exe"), 1u);
    }
}

TEST(SuiteExecutables, PathWithinComparesWholeElements) {
    const std::wstring folder = L"C:\\Games\\Korv Desktop\\";
    EXPECT_TRUE(fs::isSameOrInsideFolder(folder, L"C:\\Games\\Korv Desktop\\KorvDesktop.exe"));
    EXPECT_TRUE(fs::isSameOrInsideFolder(folder, L"C:\\Games\\Korv Desktop\\a\\b\\c.exe"));
    EXPECT_FALSE(fs::isSameOrInsideFolder(folder, L"C:\\Games\\Korv Desktop2\\KorvDesktop.exe"));
    EXPECT_FALSE(fs::isSameOrInsideFolder(folder, L"C:\\Games\\Korv\\KorvDesktop.exe"));
    EXPECT_FALSE(fs::isSameOrInsideFolder(folder, L"C:\\Games"));
    EXPECT_FALSE(fs::isSameOrInsideFolder(folder, L"D:\\Games\\Korv Desktop\\x.exe"));
    EXPECT_TRUE(fs::isSameOrInsideFolder(L"C:\\Games\\Korv Desktop", L"C:\\Games\\Korv Desktop\\x.exe"));
}

TEST(SuiteExecutables, PathWithinIgnoresAsciiCaseAndSeparatorKind) {
    EXPECT_TRUE(fs::isSameOrInsideFolder(L"C:\\Games\\Korv Desktop\\", L"c:/games/KORV DESKTOP/x.exe"));
    // Only ASCII letters fold: a non-ASCII letter in another case is another element.
    EXPECT_TRUE(fs::isSameOrInsideFolder(L"C:\\Spiele\\\u00c4rger\\", L"C:\\Spiele\\\u00c4rger\\x.exe"));
    EXPECT_FALSE(fs::isSameOrInsideFolder(L"C:\\Spiele\\\u00c4rger\\", L"C:\\Spiele\\\u00e4rger\\x.exe"));
}

}  // namespace
}  // namespace kvx::apps::suite
