#include "destager/CrashPoints.h"

namespace kvx::apps::destager {

namespace {

constinit CrashHook gCrashHook = nullptr;

}  // namespace

void setCrashHook(CrashHook hook) {
    gCrashHook = hook;
}

void crashPoint(CrashStep step) {
    if (gCrashHook != nullptr) {
        gCrashHook(step);
    }
}

}  // namespace kvx::apps::destager
