#include "process/CommandLinePattern.h"

#include <gtest/gtest.h>

#include <string>

namespace kvx::services::process {
namespace {

TEST(CommandLinePattern, AcceptsTheProgramsOwnOptionForms) {
    EXPECT_TRUE(matchesCommandLinePattern(""));
    EXPECT_TRUE(matchesCommandLinePattern("--action=install --mode=flint"));
    EXPECT_TRUE(matchesCommandLinePattern("-noclient /no-desktop-shortcut"));
    EXPECT_TRUE(matchesCommandLinePattern("--launchHelperArgument=a.b,c+d"));
    EXPECT_TRUE(matchesCommandLinePattern("+flag:value_1 --x y"));
}

TEST(CommandLinePattern, RejectsOtherTextAndOverlongLines) {
    EXPECT_FALSE(matchesCommandLinePattern("---three"));
    EXPECT_FALSE(matchesCommandLinePattern("--a b c"));
    EXPECT_FALSE(matchesCommandLinePattern("plain"));
    EXPECT_FALSE(matchesCommandLinePattern("--path=C:\\x"));
    EXPECT_FALSE(matchesCommandLinePattern("--a=\"quoted\""));

    std::string atLimit = "--a";
    while (atLimit.size() + 4 <= 2048) {
        atLimit += " -ab";
    }
    EXPECT_TRUE(matchesCommandLinePattern(atLimit));
    EXPECT_FALSE(matchesCommandLinePattern(atLimit + std::string(2049 - atLimit.size(), 'b')));
}

}  // namespace
}  // namespace kvx::services::process
