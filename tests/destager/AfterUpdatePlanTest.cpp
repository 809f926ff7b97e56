#include "destager/AfterUpdatePlan.h"

#include <gtest/gtest.h>

namespace kvx::apps::destager {
namespace {

// What runs after the update: "repair" (protocols and availability), "relaunch", "reset" (attempt
// tracking), and the loop's warning.
std::string planned(int32_t result, Action action, bool loop) {
    const AfterUpdatePlan plan = planAfterUpdate(result, action, loop);
    return std::string(plan.repairProtocolsAndAvailability ? "repair " : "") +
           (plan.relaunch ? "relaunch " : "") + (plan.resetAttemptTracking ? "reset " : "") +
           plan.loopWarning.value_or("");
}

TEST(AfterUpdatePlan, RepairRelaunchAndResetFollowResultActionAndLoop) {
    // A successful update leaves availability and protocols alone but relaunches.
    EXPECT_EQ(planned(0, Action::Update, false), "relaunch reset ");
    EXPECT_EQ(planned(6, Action::Update, false), "repair relaunch ");
    EXPECT_EQ(planned(0, Action::Install, false), "repair relaunch reset ");
    EXPECT_EQ(planned(0, Action::Repair, false), "repair relaunch reset ");
    EXPECT_EQ(planned(22, Action::Repair, false), "repair relaunch ");
    // A loop stops both repair and relaunch and leaves the counters as they are.
    EXPECT_EQ(planned(0, Action::Update, true), "Skipping BGS/client relaunch to break update loop");
    EXPECT_EQ(planned(6, Action::Install, true), "Skipping protocol repair to break update loop");
}

}  // namespace
}  // namespace kvx::apps::destager
