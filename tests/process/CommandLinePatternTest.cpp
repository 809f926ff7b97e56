#include "process/CommandLinePattern.h"

#include <gtest/gtest.h>

#include <string>

namespace kvx::services::process {
namespace {

TEST(CommandLinePattern, AcceptsOnlyTheProgramsOwnOptionFormsUpToTheLimit) {
    std::string atLimit = "--a";
    while (atLimit.size() + 4 <= 2048) {
        atLimit += " -ab";
    }
    const std::pair<std::string, bool> rows[] = {
        {"", true},
        {"--action=install --mode=flint", true},
        {"-noclient /no-desktop-shortcut", true},
        {"--launchHelperArgument=a.b,c+d", true},
        {"+flag:value_1 --x y", true},
        {atLimit, true},
        {atLimit + std::string(2049 - atLimit.size(), 'b'), false},
        {"---three", false},
        {"--a b c", false},
        {"plain", false},
        {"--path=C:\\x", false},
        {"--a=\"quoted\"", false},
    };
    for (const auto& [line, accepted] : rows) {
        EXPECT_EQ(matchesCommandLinePattern(line), accepted) << line.substr(0, 40);
    }
}

}  // namespace
}  // namespace kvx::services::process
