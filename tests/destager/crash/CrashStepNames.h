#pragma once
// What the crash-test destager and the test that drives it agree on: the variables that name the
// step to stop or throw at, the exit code of a stop, and each step's name.

#include <array>
#include <cstdint>
#include <string_view>

#include "destager/CrashPoints.h"

namespace kvx::apps::destager::crash {

inline constexpr const wchar_t* kCrashStepVariable = L"KVX_TEST_CRASH_STEP";
// Names the step at which the run throws, once, as a failed check would.
inline constexpr const wchar_t* kThrowStepVariable = L"KVX_TEST_THROW_STEP";
inline constexpr uint32_t kCrashExitCode = 0xC0A5;

struct CrashStepName {
    CrashStep step;
    std::wstring_view name;
};

inline constexpr std::array kCrashStepNames{
    CrashStepName{CrashStep::afterRepairState, L"afterRepairState"},
    CrashStepName{CrashStep::swapBeforeOldClientMove, L"swapBeforeOldClientMove"},
    CrashStepName{CrashStep::swapAfterOldClientMove, L"swapAfterOldClientMove"},
    CrashStepName{CrashStep::swapAfterStagedMove, L"swapAfterStagedMove"},
    CrashStepName{CrashStep::renameRetrying, L"renameRetrying"},
    CrashStepName{CrashStep::afterSwapBeforeRegistration, L"afterSwapBeforeRegistration"},
    CrashStepName{CrashStep::rollbackBeforeRestore, L"rollbackBeforeRestore"},
    CrashStepName{CrashStep::migrateAfterMove, L"migrateAfterMove"},
    CrashStepName{CrashStep::migrateBeforeMoveBack, L"migrateBeforeMoveBack"},
    CrashStepName{CrashStep::symlinkSwapAfterUnlink, L"symlinkSwapAfterUnlink"},
    CrashStepName{CrashStep::revertAfterUnlink, L"revertAfterUnlink"},
    CrashStepName{CrashStep::revertOldFolderRemoval, L"revertOldFolderRemoval"},
    CrashStepName{CrashStep::revertOldFolderPartlyRemoved, L"revertOldFolderPartlyRemoved"},
    CrashStepName{CrashStep::mainBeforeKeyRepair, L"mainBeforeKeyRepair"},
    CrashStepName{CrashStep::mainBeforeLoopCheck, L"mainBeforeLoopCheck"},
    CrashStepName{CrashStep::mainBeforeBookkeeping, L"mainBeforeBookkeeping"},
    CrashStepName{CrashStep::mainBeforeProtocolRepair, L"mainBeforeProtocolRepair"},
};

constexpr std::wstring_view crashStepName(CrashStep step) {
    for (const CrashStepName& entry : kCrashStepNames) {
        if (entry.step == step) {
            return entry.name;
        }
    }
    return {};
}

}  // namespace kvx::apps::destager::crash
