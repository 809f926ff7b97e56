#include "foundation/update/DestagerOptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace kvx::apps::destager {
namespace {

DestagerOptions parse(std::vector<const char*> args) {
    args.insert(args.begin(), "KorvDestager.exe");
    return parseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(ParseCommandLine, NoArgumentsGiveTheDefaults) {
    const auto options = parse({});
    EXPECT_EQ(options.action, Action::Update);
    EXPECT_EQ(options.mode, Mode::Unspecified);
    EXPECT_TRUE(options.attended);
    EXPECT_FALSE(options.noDesktopShortcut);
    EXPECT_EQ(options.launchHelperArgument, "");
}

TEST(ParseCommandLine, ValuedOptionsNeedTwoDashesAndExactNames) {
    EXPECT_EQ(parse({"--action=repair"}).action, Action::Repair);
    EXPECT_EQ(parse({"--action=Repair"}).action, Action::Update) << "names are case-sensitive";
    EXPECT_EQ(parse({"--action=install", "--action=bogus"}).action, Action::Install)
        << "an unknown value leaves the previous one";
    EXPECT_EQ(parse({"--action=install", "--action=repair"}).action, Action::Repair);
    EXPECT_EQ(parse({"-action=repair"}).action, Action::Update);
    EXPECT_EQ(parse({"--action", "repair"}).action, Action::Update);
    EXPECT_EQ(parse({"--mode=flint"}).mode, Mode::Flint);
    EXPECT_EQ(parse({"--mode=luna"}).mode, Mode::Luna);
    EXPECT_EQ(parse({"--modeX=flint"}).mode, Mode::Unspecified);
}

TEST(ParseCommandLine, SwitchesTakeOneDashOrASlashAndAreTrimmed) {
    EXPECT_FALSE(parse({" \t-noclient\r\n"}).attended);
    EXPECT_FALSE(parse({"/noclient"}).attended);
    EXPECT_TRUE(parse({"--noclient"}).attended);
    EXPECT_TRUE(parse({"-NoClient"}).attended);
    EXPECT_TRUE(parse({"noclient"}).attended);
    EXPECT_TRUE(parse({"/no-desktop-shortcut"}).noDesktopShortcut);
}

TEST(ParseCommandLine, LaunchHelperArgumentKeepsEverythingAfterTheEquals) {
    EXPECT_EQ(parse({"--launchHelperArgument=\"a=b c\""}).launchHelperArgument, "\"a=b c\"");
    EXPECT_EQ(parse({"--launchHelperArgument=a", "--launchHelperArgument="}).launchHelperArgument, "a")
        << "an empty value leaves the previous one";
}

}  // namespace
}  // namespace kvx::apps::destager
