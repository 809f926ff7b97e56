#include <gtest/gtest.h>

#include "destager/AfterUpdatePlan.h"

namespace kvx::apps::destager {
namespace {

struct PlanCase {
    int32_t result;
    Action action;
    bool loop;
    bool repair;
    bool relaunch;
    bool reset;
    const char* warning;  // nullptr: none
};

TEST(AfterUpdatePlanTest, RepairRelaunchAndResetFollowResultActionAndLoop) {
    const PlanCase cases[] = {
        // A successful update leaves availability and protocols alone but relaunches.
        {0, Action::Update, false, false, true, true, nullptr},
        {6, Action::Update, false, true, true, false, nullptr},
        {0, Action::Install, false, true, true, true, nullptr},
        {0, Action::Repair, false, true, true, true, nullptr},
        {22, Action::Repair, false, true, true, false, nullptr},
        // A loop stops both repair and relaunch and leaves the counters as they are.
        {0, Action::Update, true, false, false, false, "Skipping BGS/client relaunch to break update loop"},
        {6, Action::Install, true, false, false, false, "Skipping protocol repair to break update loop"},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "result " << c.result << " action " << static_cast<int>(c.action)
                                        << " loop " << c.loop);
        const AfterUpdatePlan plan = planAfterUpdate(c.result, c.action, c.loop);
        EXPECT_EQ(plan.repairProtocolsAndAvailability, c.repair);
        EXPECT_EQ(plan.relaunch, c.relaunch);
        EXPECT_EQ(plan.resetAttemptTracking, c.reset);
        EXPECT_EQ(plan.loopWarning, c.warning ? std::optional<std::string>(c.warning) : std::nullopt);
    }
}

}  // namespace
}  // namespace kvx::apps::destager
