#include "foundation/update/DestagerOptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace kvx::apps::destager {
namespace {

// "<action> <mode> <attended|background> <shortcut|no shortcut> [<launch helper argument>]"
std::string parsed(std::vector<const char*> args) {
    args.insert(args.begin(), "KorvDestager.exe");
    const DestagerOptions options = parseCommandLine(static_cast<int>(args.size()), args.data());
    return std::string(actionName(options.action)) + " " + modeName(options.mode) +
           (options.attended ? " attended" : " background") +
           (options.noDesktopShortcut ? " no shortcut" : " shortcut") + " [" + options.launchHelperArgument +
           "]";
}

// Valued options need two dashes and exact names, switches one dash or a slash and are trimmed; an
// unknown or empty value leaves the previous one, and a value keeps everything after the "=".
TEST(ParseCommandLine, OptionsAndSwitches) {
    const std::pair<std::vector<const char*>, const char*> rows[] = {
        {{}, "update unspecified attended shortcut []"},
        {{"--action=repair", "--mode=flint"}, "repair flint attended shortcut []"},
        {{"--action=Repair", "--mode=Luna"}, "update unspecified attended shortcut []"},
        {{"--action=install", "--action=bogus"}, "install unspecified attended shortcut []"},
        {{"--action=install", "--action=repair", "--mode=luna"}, "repair luna attended shortcut []"},
        {{"-action=repair", "--action", "repair", "--modeX=flint"},
         "update unspecified attended shortcut []"},
        {{" \t-noclient\r\n"}, "update unspecified background shortcut []"},
        {{"/noclient", "/no-desktop-shortcut"}, "update unspecified background no shortcut []"},
        {{"--noclient", "-NoClient", "noclient"}, "update unspecified attended shortcut []"},
        {{"--launchHelperArgument=\"a=b c\""}, "update unspecified attended shortcut [\"a=b c\"]"},
        {{"--launchHelperArgument=a", "--launchHelperArgument="}, "update unspecified attended shortcut [a]"},
    };
    for (const auto& [args, expected] : rows) {
        EXPECT_EQ(parsed(args), expected);
    }
}

// Each argument reads back unchanged by Windows' own splitting: quoted where it holds a blank or a
// quote or is empty, backslashes doubled only where a quote follows them.
TEST(CommandLineOf, QuotesOnlyWhereWindowsWouldSplitOrUnescape) {
    const std::pair<std::vector<std::string>, const char*> rows[] = {
        {{}, R"("C:\a b\d.exe")"},
        {{"--action=repair", "-noclient", ""}, R"("C:\a b\d.exe" --action=repair -noclient "")"},
        {{"a\\b c", "x\\"}, R"("C:\a b\d.exe" "a\b c" x\)"},
        {{"say \"hi\"", "tail \\", "q\\\"t"}, R"("C:\a b\d.exe" "say \"hi\"" "tail \\" "q\\\"t")"},
        {{"end\\\\ x"}, R"("C:\a b\d.exe" "end\\ x")"},
    };
    for (const auto& [arguments, expected] : rows) {
        EXPECT_EQ(commandLineOf("C:\\a b\\d.exe", arguments), expected);
    }
}

}  // namespace
}  // namespace kvx::apps::destager
