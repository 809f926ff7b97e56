#pragma once
// The recording telemetry sink the framework tests share, installed while its scoped owner lives.

#include <memory>
#include <string>
#include <vector>

#include "foundation/LockedValue.h"
#include "foundation/Singleton.h"
#include "framework/telemetry/TelemetryEvent.h"
#include "support/Capture.h"

namespace kvx::test {

class RecordingSink final : public foundation::ITelemetrySink {
    struct Recorded {
        std::vector<foundation::TelemetryEvent> events;
        std::vector<int32_t> appEvents;
        int flushes = 0;
    };

public:
    void record(const foundation::TelemetryEvent& event) override {
        mRecorded.checkedValue()->events.push_back(event);
    }
    void recordAppEvent(int32_t level) override { mRecorded.checkedValue()->appEvents.push_back(level); }
    void flush() override { ++mRecorded.checkedValue()->flushes; }

    std::vector<foundation::TelemetryEvent> events() const { return mRecorded.checkedValue()->events; }
    std::vector<int32_t> appEvents() const { return mRecorded.checkedValue()->appEvents; }
    int flushes() const { return mRecorded.checkedValue()->flushes; }
    // "<taxonomy> <emsg>" of each event: how error events read.
    std::vector<std::string> texts() const {
        std::vector<std::string> texts;
        for (const auto& event : events()) {
            texts.push_back(event.taxonomy() + " " + event.params().value("emsg", std::string()));
        }
        return texts;
    }

private:
    mutable LockedValue<Recorded> mRecorded;
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
