// The command lines themselves are checked where they are written to the registry.
#include "integration/RegistrationTexts.h"

#include <gtest/gtest.h>

namespace kvx::apps::suite {
namespace {

TEST(RegistrationTexts, CommandKeyStateNamesAndExactSuiteDisplayNames) {
    EXPECT_EQ(protocolCommandKey("luna2korv"), "luna2korv\\shell\\open\\command");
    EXPECT_EQ(installationStateName(InstallationState::Updating), "Updating");
    EXPECT_EQ(installationStateName(static_cast<InstallationState>(7)), "");
    for (const char* name : {"Pellam Beta", "Korv Desktop", "Korv app"}) {
        EXPECT_TRUE(isSuiteDisplayName(name)) << name;
    }
    for (const char* name : {"korv app", "Korv app ", "Korv", ""}) {
        EXPECT_FALSE(isSuiteDisplayName(name)) << name;
    }
}

}  // namespace
}  // namespace kvx::apps::suite
