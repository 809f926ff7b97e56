// Which programs are stopped and what is started once the update is over.
#include <gtest/gtest.h>

#include <vector>

#include "foundation/fs/PathRules.h"
#include "process/ClientStartPlan.h"
#include "process/SuiteExecutables.h"
#include "support/Capture.h"

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

// The arguments are joined into one command line; every failure logs that nothing is relaunched.
TEST(ClientStartPlan, StartsByAttendanceAndResultWithTheExactArguments) {
    using enum ClientStartTarget;
    const struct {
        bool attended;
        const char* launchHelperArgument;
        int32_t result;
        ClientStartTarget target;
        const char* arguments;
    } rows[] = {
        {true, "", 7, Desktop, "-updateDestagerError=\"7\""},
        {false, "", 7, None, ""},
        {true, "", 0, Desktop, ""},
        {true, "a b", 0, Desktop, "--launchHelperArgument=\"a b\""},
        {false, "ignored", 0, LaunchHelper, "-noclient -ktcuNoSkip"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.result << " " << row.arguments);
        test::ScopedCapturingLogger logger;
        const ClientStart start = planClientStart(row.attended, row.launchHelperArgument, row.result);
        EXPECT_EQ(start.target, row.target);
        EXPECT_EQ(joinArguments(start.arguments), row.arguments);
        std::vector<std::string> expected;
        if (row.target != None) {
            const char* name = row.target == Desktop ? "Starting Desktop app" : "Starting Launch Helper";
            expected.push_back(name + std::string(", args[") + row.arguments + "]");
        }
        if (row.result != 0) {
            expected.push_back("Background update attempt failed, not relaunching");
        }
        std::vector<std::string> logged;
        for (const auto& line : logger->lines()) {
            logged.push_back(line.message);
        }
        EXPECT_EQ(logged, expected);
    }
}

}  // namespace
}  // namespace kvx::apps
