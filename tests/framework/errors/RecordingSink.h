#pragma once
// A telemetry sink that keeps what it is given, installed for the lifetime of the object.

#include <memory>
#include <mutex>
#include <vector>

#include "framework/telemetry/TelemetryEvent.h"

namespace kvx::test {

class RecordingSink final : public foundation::ITelemetrySink {
public:
    void record(const foundation::TelemetryEvent& event) override {
        std::lock_guard lock(mMutex);
        mEvents.push_back(event);
    }
    void recordAppEvent(int32_t level) override {
        std::lock_guard lock(mMutex);
        mAppEvents.push_back(level);
    }
    void flush() override {
        std::lock_guard lock(mMutex);
        ++mFlushes;
    }

    std::vector<foundation::TelemetryEvent> events() const {
        std::lock_guard lock(mMutex);
        return mEvents;
    }
    std::vector<int32_t> appEvents() const {
        std::lock_guard lock(mMutex);
        return mAppEvents;
    }
    int flushes() const {
        std::lock_guard lock(mMutex);
        return mFlushes;
    }

private:
    mutable std::mutex mMutex;
    std::vector<foundation::TelemetryEvent> mEvents;
    std::vector<int32_t> mAppEvents;
    int mFlushes = 0;
};

class ScopedRecordingSink {
public:
    ScopedRecordingSink() { foundation::setTelemetrySink(mSink); }
    ~ScopedRecordingSink() { foundation::setTelemetrySink(nullptr); }
    RecordingSink* operator->() { return mSink.get(); }

private:
    std::shared_ptr<RecordingSink> mSink = std::make_shared<RecordingSink>();
};

}  // namespace kvx::test
