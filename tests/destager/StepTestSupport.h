#pragma once
// The update steps' fixture: virtual time, captured log lines, telemetry read back, a temporary install.

#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <string>
#include <vector>

#include "destager/FolderSwap.h"
#include "destager/ResumeEntry.h"
#include "destager/TelemetryRecordDecoding.h"
#include "foundation/Singleton.h"
#include "foundation/fs/FileFunctions.h"
#include "foundation/fs/Filesystem.h"
#include "foundation/registry/RegistryKey.h"
#include "foundation/update/DestageContext.h"
#include "framework/config/ConfigSystem.h"
#include "support/Capture.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::test {

inline constexpr fs::OsError kAccessDenied = 5;
using apps::destager::internal::kResumeValueName;
using apps::destager::internal::kRunOnceKeyPath;
using Texts = std::vector<std::string>;

class StepFixture : public ::testing::Test {
protected:
    StepFixture() : mConfig(foundation::utils::Singleton<config::ConfigSystem>::create()) {
        mConfig.set(config::Store::Ordinary, "machine.telemetry.updateCorrelationId", "test-id",
                    config::kScopeMachine);
        mContext =
            apps::buildDestageContext(mRoot.path(), mRoot / L"StagedKorvDesktop\\Korv Desktop\\x.exe", 7);
    }
    ~StepFixture() override {
        foundation::utils::Singleton<config::ConfigSystem>::destroy();
        runOnceKey().deleteValue(kResumeValueName);  // never to be met by a run of the RunOnce entries
    }

public:
    static foundation::RegistryKey runOnceKey() {
        return foundation::RegistryKey::openWritable(HKEY_LOCAL_MACHINE, kRunOnceKeyPath, true);
    }
    static bool resumeRegistered() { return runOnceKey().valueExists(kResumeValueName); }

protected:
    // The install root written "<root>" and the access-denied error "<denied>".
    std::string shortened(std::string text) const {
        for (const auto& [from, to] : {std::pair{mRoot.path().utf8(), "<root>"},
                                       {apps::destager::internal::osErrorText(kAccessDenied), "<denied>"}}) {
            for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
                text.replace(at, from.size(), to);
            }
        }
        return text;
    }
    // "code severity: message" of every record so far, shortened.
    Texts telemetry() const {
        Texts out;
        for (const auto& record : apps::decodeDestageErrors(mConfig.getString("machine.destageErrors", ""))) {
            out.push_back(
                shortened(record.fields.ecod + " " + record.fields.esev + ": " + record.fields.estr));
        }
        return out;
    }
    Texts messagesAt(int32_t level) {
        Texts out;
        for (const auto& line : mLogger->lines()) {
            if (line.level == level) {
                out.push_back(shortened(line.message));
            }
        }
        return out;
    }
    // The client executable's content in `folder`, "-" for none.
    static std::string clientExeIn(const fs::Path& folder) {
        auto bytes = foundation::file::readFile(folder / L"KorvDesktop.exe", 100);
        return bytes.isOk() ? std::string(bytes.peek().begin(), bytes.peek().end()) : "-";
    }
    std::chrono::milliseconds waited() {
        const auto sleeps = mClock->sleeps();
        return std::accumulate(sleeps.begin(), sleeps.end(), std::chrono::milliseconds(0));
    }

    config::ConfigSystem& mConfig;
    ScopedTestClock mClock;
    ScopedCapturingLogger mLogger;
    TempFolder mRoot;
    apps::DestageContext mContext;
};

}  // namespace kvx::test
