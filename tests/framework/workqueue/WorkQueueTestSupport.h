#pragma once
// A fake thread platform for work-queue tests.

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "framework/workqueue/NamedThread.h"

namespace kvx::test {

// Installed as the thread platform while it lives; COM fails with `comError` when it is set.
class FakeThreadPlatform final : public IThreadPlatform {
public:
    FakeThreadPlatform() : mPrevious(setThreadPlatform(this)) {}
    ~FakeThreadPlatform() override { setThreadPlatform(mPrevious); }

    void nameCurrentThread(const std::string& name) override {
        std::lock_guard lock(mMutex);
        mNames.push_back(name);
    }
    uint32_t currentThreadId() override { return 77; }
    uint32_t currentProcessId() override { return 5; }
    Result<void, int32_t> initializeCom() override {
        ++comInits;
        return comError != 0 ? Result<void, int32_t>(Err{comError}) : Result<void, int32_t>(Ok{});
    }
    void uninitializeCom() override { ++comUninits; }

    std::vector<std::string> names() {
        std::lock_guard lock(mMutex);
        return mNames;
    }

    std::atomic<int> comInits{0};
    std::atomic<int> comUninits{0};
    int32_t comError = 0;  // set before any thread starts

private:
    IThreadPlatform* mPrevious;
    std::mutex mMutex;
    std::vector<std::string> mNames;
};

}  // namespace kvx::test
