// Which programs are stopped and what is started once the update is over.
#include <gtest/gtest.h>

#include "foundation/fs/PathRules.h"
#include "process/HresultText.h"
#include "process/SuiteExecutables.h"

namespace kvx::apps {
namespace {

TEST(SuiteExecutables, OwnNameIsLeftOffOnlyInTheRepairMode) {
    for (suite::StopMode mode :
         {suite::kStopModeRepair, suite::kStopModeKeepService, suite::kStopModeWithSelf}) {
        const auto names = suite::getKnownExecutables(mode);
        EXPECT_EQ(names.count("KorvDestager.exe"), mode == suite::kStopModeRepair ? 0u : 1u) << mode;
        EXPECT_EQ(names.count("KorvDesktop.exe"), 1u) << mode;
        // The service is stopped as a service, not by its executable's name.
        EXPECT_EQ(names.count("KorvBackgroundService.exe"), 0u) << mode;
    }
}

// Whole path elements, ASCII letters in either case and either separator.
TEST(PathRules, SameOrInsideFolder) {
    const struct {
        const wchar_t* folder;
        const wchar_t* path;
        bool inside;
    } rows[] = {
        {L"C:\\Games\\Korv Desktop\\", L"C:\\Games\\Korv Desktop\\KorvDesktop.exe", true},
        {L"C:\\Games\\Korv Desktop", L"C:\\Games\\Korv Desktop\\x.exe", true},
        {L"C:\\Games\\Korv Desktop\\", L"c:/games/KORV DESKTOP/x.exe", true},
        {L"C:\\Games\\Korv Desktop\\", L"C:\\Games\\Korv Desktop2\\KorvDesktop.exe", false},
        {L"C:\\Games\\Korv Desktop\\", L"C:\\Games", false},
        {L"C:\\Games\\Korv Desktop\\", L"D:\\Games\\Korv Desktop\\x.exe", false},
        {L"C:\\Spiele\\\u00c4rger\\", L"C:\\Spiele\\\u00c4rger\\x.exe", true},
        // Only ASCII letters fold: a non-ASCII letter in another case is another element.
        {L"C:\\Spiele\\\u00c4rger\\", L"C:\\Spiele\\\u00e4rger\\x.exe", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(fs::isSameOrInsideFolder(row.folder, row.path), row.inside) << "row " << (&row - rows);
    }
}

// The text of an HRESULT the system has no message for.
TEST(HresultText, DispatchErrorsCountFromTheStartOfTheirRange) {
    for (const auto& [hr, text] : {std::pair{0x80040200u, "IDispatch error #0"},
                                   {0x8004FFFFu, "IDispatch error #65023"},
                                   {0x800401FFu, "Unknown error 0x800401FF"},
                                   {0x80020009u, "Unknown error 0x80020009"}}) {
        EXPECT_EQ(services::process::hresultFallbackText(hr), text);
    }
}

}  // namespace
}  // namespace kvx::apps
