#pragma once
// Helpers for work-queue tests: an event count that works across threads and a fake thread platform.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "framework/workqueue/NamedThread.h"

namespace kvx::test {

// Counts events from other threads (also serving as a gate: add() opens what waitFor(1) holds); waits
// are bounded only as a guard against a hung test.
class EventCounter {
public:
    void add() {
        std::lock_guard lock(mMutex);
        ++mCount;
        mChanged.notify_all();
    }
    bool waitFor(int count) {
        std::unique_lock lock(mMutex);
        return mChanged.wait_for(lock, std::chrono::seconds(30), [&] { return mCount >= count; });
    }

private:
    std::mutex mMutex;
    std::condition_variable mChanged;
    int mCount = 0;
};

class FakeThreadPlatform final : public IThreadPlatform {
    // Defined first: members below deduce their return types from it.
    template <typename F>
    auto locked(F f) {
        std::lock_guard lock(mMutex);
        return f();
    }

public:
    void nameCurrentThread(const std::string& name) override {
        locked([&] { mNames.push_back(name); });
    }
    uint32_t currentThreadId() override { return 77; }
    uint32_t currentProcessId() override { return 5; }
    Result<void, int32_t> initializeCom() override {
        locked([&] { ++mComInits; });
        return mComError != 0 ? Result<void, int32_t>(Err{mComError}) : Result<void, int32_t>(Ok{});
    }
    void uninitializeCom() override {
        locked([&] { ++mComUninits; });
    }

    std::vector<std::string> names() {
        return locked([&] { return mNames; });
    }
    int comInits() {
        return locked([&] { return mComInits; });
    }
    int comUninits() {
        return locked([&] { return mComUninits; });
    }
    void failCom(int32_t error) { mComError = error; }

private:
    std::mutex mMutex;
    std::vector<std::string> mNames;
    int mComInits = 0;
    int mComUninits = 0;
    int32_t mComError = 0;
};

// Installs a platform for the lifetime of the object.
class ScopedThreadPlatform {
public:
    explicit ScopedThreadPlatform(IThreadPlatform& platform) : mPrevious(setThreadPlatform(&platform)) {}
    ~ScopedThreadPlatform() { setThreadPlatform(mPrevious); }

private:
    IThreadPlatform* mPrevious;
};

}  // namespace kvx::test
