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

TEST(ParseCommandLine, ValuedOptionsNeedTwoDashesAndExactNames) {
    EXPECT_EQ(parsed({}), "update unspecified attended shortcut []");
    EXPECT_EQ(parsed({"--action=repair", "--mode=flint"}), "repair flint attended shortcut []");
    EXPECT_EQ(parsed({"--action=Repair", "--mode=Luna"}), "update unspecified attended shortcut []");
    EXPECT_EQ(parsed({"--action=install", "--action=bogus"}), "install unspecified attended shortcut []")
        << "an unknown value leaves the previous one";
    EXPECT_EQ(parsed({"--action=install", "--action=repair", "--mode=luna"}),
              "repair luna attended shortcut []");
    EXPECT_EQ(parsed({"-action=repair", "--action", "repair", "--modeX=flint"}),
              "update unspecified attended shortcut []");
}

TEST(ParseCommandLine, SwitchesTakeOneDashOrASlashAndAreTrimmed) {
    EXPECT_EQ(parsed({" \t-noclient\r\n"}), "update unspecified background shortcut []");
    EXPECT_EQ(parsed({"/noclient", "/no-desktop-shortcut"}), "update unspecified background no shortcut []");
    EXPECT_EQ(parsed({"--noclient", "-NoClient", "noclient"}), "update unspecified attended shortcut []");
}

TEST(ParseCommandLine, LaunchHelperArgumentKeepsEverythingAfterTheEquals) {
    EXPECT_EQ(parsed({"--launchHelperArgument=\"a=b c\""}),
              "update unspecified attended shortcut [\"a=b c\"]");
    EXPECT_EQ(parsed({"--launchHelperArgument=a", "--launchHelperArgument="}),
              "update unspecified attended shortcut [a]")
        << "an empty value leaves the previous one";
}

}  // namespace
}  // namespace kvx::apps::destager
