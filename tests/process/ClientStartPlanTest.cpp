#include "process/ClientStartPlan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Capture.h"

namespace kvx::apps {
namespace {

TEST(ClientStartPlan, StartsByAttendanceAndResultWithTheExactArguments) {
    using enum ClientStartTarget;
    struct Row {
        bool attended;
        std::string launchHelperArgument;
        int32_t result;
        ClientStartTarget target;
        std::vector<std::string> arguments;
        std::vector<std::string> logged;  // the decision's lines, in order
    };
    const Row rows[] = {
        {true,
         "",
         7,
         Desktop,
         {"-updateDestagerError=\"7\""},
         {"Starting Desktop app, args[-updateDestagerError=\"7\"]",
          "Background update attempt failed, not relaunching"}},
        {false, "", 7, None, {}, {"Background update attempt failed, not relaunching"}},
        {true, "", 0, Desktop, {}, {"Starting Desktop app, args[]"}},
        {true,
         "open game=a b",
         0,
         Desktop,
         {"--launchHelperArgument=\"open game=a b\""},
         {"Starting Desktop app, args[--launchHelperArgument=\"open game=a b\"]"}},
        {false,
         "ignored",
         0,
         LaunchHelper,
         {"-noclient", "-ktcuNoSkip"},
         {"Starting Launch Helper, args[-noclient -ktcuNoSkip]"}},
    };
    for (const Row& row : rows) {
        test::ScopedCapturingLogger logger;
        const ClientStart start = planClientStart(row.attended, row.launchHelperArgument, row.result);
        SCOPED_TRACE(row.logged.back());
        EXPECT_EQ(start.target, row.target);
        EXPECT_EQ(start.arguments, row.arguments);
        std::vector<std::string> logged;
        for (const auto& line : logger->lines()) {
            logged.push_back(line.message);
        }
        EXPECT_EQ(logged, row.logged);
    }
    EXPECT_EQ(joinArguments({"-a", "--b=\"c d\""}), "-a --b=\"c d\"");
}

}  // namespace
}  // namespace kvx::apps
