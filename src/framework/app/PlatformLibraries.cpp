#include "framework/app/PlatformLibraries.h"

namespace kvx::services::platform {

bool LibrarySession::start(const std::string& text) {
    std::lock_guard lock(mMutex);
    if (mRunning) {
        return false;
    }
    mText = text;
    mRunning = true;
    return true;
}

void LibrarySession::stop() {
    std::lock_guard lock(mMutex);
    mRunning = false;
}

std::string LibrarySession::text() const {
    std::lock_guard lock(mMutex);
    return mText;
}

Profiler& profiler() {
    static Profiler instance;
    return instance;
}

NetworkLibrary& networkLibrary() {
    static NetworkLibrary instance;
    return instance;
}

TraceLibrary& traceLibrary() {
    static TraceLibrary instance;
    return instance;
}

}  // namespace kvx::services::platform
