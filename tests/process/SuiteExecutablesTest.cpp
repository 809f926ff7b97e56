#include "process/SuiteExecutables.h"

#include "foundation/fs/PathRules.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kvx::apps::suite {
namespace {

TEST(SuiteExecutables, OwnNameIsLeftOffOnlyInTheRepairMode) {
    for (StopMode mode : {kStopModeRepair, kStopModeKeepService, kStopModeWithSelf}) {
        const auto names = getKnownExecutables(mode);
        EXPECT_EQ(names.count("KorvDestager.exe"), mode == kStopModeRepair ? 0u : 1u) << mode;
        EXPECT_EQ(names.count("KorvDesktop.exe"), 1u) << mode;
        // The service is stopped as a service, not by its executable's name.
        EXPECT_EQ(names.count("KorvBackgroundService.exe"), 0u) << mode;
    }
}

// Whole path elements, ASCII letters in either case and either separator.
TEST(PathRules, SameOrInsideFolder) {
    const std::tuple<const wchar_t*, const wchar_t*, bool> rows[] = {
        {L"C:\\Games\\Korv Desktop\\", L"C:\\Games\\Korv Desktop\\KorvDesktop.exe", true},
        {L"C:\\Games\\Korv Desktop\\", L"C:\\Games\\Korv Desktop\\a\\b\\c.exe", true},
        {L"C:\\Games\\Korv Desktop", L"C:\\Games\\Korv Desktop\\x.exe", true},
        {L"C:\\Games\\Korv Desktop\\", L"c:/games/KORV DESKTOP/x.exe", true},
        {L"C:\\Games\\Korv Desktop\\", L"C:\\Games\\Korv Desktop2\\KorvDesktop.exe", false},
        {L"C:\\Games\\Korv Desktop\\", L"C:\\Games\\Korv\\KorvDesktop.exe", false},
        {L"C:\\Games\\Korv Desktop\\", L"C:\\Games", false},
        {L"C:\\Games\\Korv Desktop\\", L"D:\\Games\\Korv Desktop\\x.exe", false},
        {L"C:\\Spiele\\\u00c4rger\\", L"C:\\Spiele\\\u00c4rger\\x.exe", true},
        // Only ASCII letters fold: a non-ASCII letter in another case is another element.
        {L"C:\\Spiele\\\u00c4rger\\", L"C:\\Spiele\\\u00e4rger\\x.exe", false},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(fs::isSameOrInsideFolder(std::get<0>(rows[i]), std::get<1>(rows[i])), std::get<2>(rows[i])) << "row " << i;
    }
}

}  // namespace
}  // namespace kvx::apps::suite
