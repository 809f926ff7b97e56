#include "destager/LoopDetection.h"

#include <utility>

#include "foundation/Clock.h"
#include "foundation/registry/RegistryKey.h"
#include "integration/AppKey.h"
#include "kvx/BuildVersion.h"

namespace kvx::apps::destager {

namespace {

// Opened-or-created for both reading and writing: the first run on a machine has no subkey yet.
foundation::RegistryKey openLoopCheckKey() {
    return openAppKey(true, true).openSubKey(kLoopCheckSubKey, true, true);
}

}  // namespace

LoopCheckState readLoopCheckState() {
    const foundation::RegistryKey key = openLoopCheckKey();
    LoopCheckState state;
    state.targetVersion = key.get<std::string>("UpdateTargetVersion");
    state.date = key.get<std::string>("UpdateDate");
    state.updateNumber = key.get<uint32_t>("UpdateNumber");
    state.sameResults = key.get<uint32_t>("UpdateSameResults");
    state.lastSuccessful = key.get<uint32_t>("UpdateSuccessful") != 0;
    return state;
}

bool writeLoopCheckState(const LoopCheckState& state) {
    foundation::RegistryKey key = openLoopCheckKey();
    bool ok = key.set("UpdateTargetVersion", std::string_view(state.targetVersion));
    ok = key.set("UpdateDate", std::string_view(state.date)) && ok;
    ok = key.set("UpdateNumber", state.updateNumber) && ok;
    ok = key.set("UpdateSameResults", state.sameResults) && ok;
    ok = key.set("UpdateSuccessful", state.lastSuccessful) && ok;
    return ok;
}

bool isUpdateLoopDetected(int32_t result, std::string targetVersion, std::string date) {
    LoopDecision decision =
        decideUpdateLoop(readLoopCheckState(), result, std::move(targetVersion), std::move(date));
    // A failed write costs only the next run's counting; this run's answer stands.
    (void)writeLoopCheckState(decision.current);
    return decision.loopDetected;
}

bool isUpdateLoopDetected(int32_t result) {
    return isUpdateLoopDetected(result, kBuildVersion,
                                utcDateText(foundation::clock().nowNanosecondsSinceEpoch()));
}

}  // namespace kvx::apps::destager
