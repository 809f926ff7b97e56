#include "process/InstallPathValidation.h"

#include <gtest/gtest.h>

#include "support/Capture.h"

namespace kvx::apps {
namespace {

TEST(ValidateInstallPath, PlainPrefixTestWithAsciiCaseFolding) {
    test::ScopedCapturingLogger logger;
    EXPECT_EQ(validateInstallPath(L"", L"C:\\Games\\Korv Desktop\\x\\KorvDestager.exe"), 24);
    EXPECT_EQ(logger->linesContaining("Unable to determine install location").size(), 1u);

    EXPECT_EQ(
        validateInstallPath(L"C:\\Games\\Korv Desktop\\", L"c:\\GAMES\\korv desktop\\S\\KorvDestager.exe"),
        0);
    // Only A to Z fold: the same letters outside ASCII in another case do not match.
    EXPECT_EQ(validateInstallPath(L"C:\\Spiele\\\u00C4pfel\\", L"C:\\Spiele\\\u00E4pfel\\KorvDestager.exe"),
              23);
    // A sibling folder whose name extends the install folder's name passes: the test is on text.
    EXPECT_EQ(validateInstallPath(L"C:\\Games\\Korv Desktop", L"C:\\Games\\Korv Desktop2\\KorvDestager.exe"),
              0);
    EXPECT_EQ(logger->linesContaining("Destager not running from install folder").size(), 1u);

    EXPECT_EQ(validateInstallPath(L"C:\\Games\\Korv Desktop\\", L"D:\\Copy\\KorvDestager.exe"), 23);
    const auto lines = logger->linesContaining("Destager not running from install folder");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].level, services::logging::Error);
    EXPECT_EQ(lines[1].function, "kvx::apps::validateInstallPath");
}

}  // namespace
}  // namespace kvx::apps
