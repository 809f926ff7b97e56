#include "framework/app/PlatformLibraries.h"

namespace kvx::services::platform {

bool Profiler::start(const std::string& sessionName) {
    std::lock_guard lock(mMutex);
    if (mRunning) {
        return false;
    }
    mSessionName = sessionName;
    mRunning = true;
    return true;
}

void Profiler::stop() {
    std::lock_guard lock(mMutex);
    mRunning = false;
}

std::string Profiler::sessionName() const {
    std::lock_guard lock(mMutex);
    return mSessionName;
}

bool NetworkLibrary::startup(const std::string& parameters) {
    std::lock_guard lock(mMutex);
    if (mStarted) {
        return false;
    }
    mParameters = parameters;
    mStarted = true;
    return true;
}

void NetworkLibrary::shutdown() {
    std::lock_guard lock(mMutex);
    mStarted = false;
}

std::string NetworkLibrary::parameters() const {
    std::lock_guard lock(mMutex);
    return mParameters;
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
