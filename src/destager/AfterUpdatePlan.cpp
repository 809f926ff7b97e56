#include "destager/AfterUpdatePlan.h"

namespace kvx::apps::destager {

AfterUpdatePlan planAfterUpdate(int32_t result, Action action, bool loopDetected) {
    AfterUpdatePlan plan;
    if (loopDetected) {
        plan.loopWarning = result == 0 ? "Skipping BGS/client relaunch to break update loop"
                                       : "Skipping protocol repair to break update loop";
        return plan;
    }
    // A successful update leaves the suite marked unavailable and its protocol commands blank.
    plan.repairProtocolsAndAvailability = result != 0 || action == Action::Install || action == Action::Repair;
    plan.relaunch = true;
    plan.resetAttemptTracking = result == 0;
    return plan;
}

}  // namespace kvx::apps::destager
