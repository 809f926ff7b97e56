#include "integration/RegistrationTexts.h"

#include <gtest/gtest.h>

namespace kvx::apps::suite {
namespace {

TEST(RegistrationTexts, CommandLinesQuoteAsEachReaderExpects) {
    const struct {
        std::string actual;
        std::string expected;
    } rows[] = {
        {protocolCommand(protocolTable()[0], "C:\\A B\\KorvConnect_microsoft.exe"),
         "\"C:\\A B\\KorvConnect_microsoft.exe\" \"%1\""},
        {protocolCommand(protocolTable()[3], "C:\\L.exe"),
         "\"C:\\L.exe\" \"%1\" \"%2\" \"%3\" \"%4\" \"%5\" \"%6\" \"%7\" \"%8\" \"%9\""},
        // The legacy clients split the launcher off at " \"%1\"", never at a quote.
        {legacyProtocolCommand("C:\\Program Files\\KorvLauncher.exe"),
         "C:\\Program Files\\KorvLauncher.exe \"%1\""},
        {uninstallCommand("C:\\U\\KorvUninstall.exe", "/uninstall /quiet"),
         "\"C:\\U\\KorvUninstall.exe\" /uninstall /quiet"},
        {protocolCommandKey("luna2korv"), "luna2korv\\shell\\open\\command"},
        {std::string(installationStateName(InstallationState::Updating)), "Updating"},
        {std::string(installationStateName(static_cast<InstallationState>(7))), ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.actual, row.expected);
    }
}

TEST(RegistrationTexts, OnlyTheSuiteDisplayNamesMatchExactly) {
    for (const char* name : {"Pellam Beta", "Korv Desktop", "Korv app"}) {
        EXPECT_TRUE(isSuiteDisplayName(name)) << name;
    }
    for (const char* name : {"korv app", "Korv app ", "Korv", ""}) {
        EXPECT_FALSE(isSuiteDisplayName(name)) << name;
    }
}

}  // namespace
}  // namespace kvx::apps::suite
