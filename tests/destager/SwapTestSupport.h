#pragma once
// Shared by the folder-swap and symlink-mode tests: fault injection per operation and path, and a
// fixture with virtual time, captured log lines and the telemetry key read back.

#include <gtest/gtest.h>

#include <cwctype>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "destager/TelemetryRecordDecoding.h"
#include "foundation/Singleton.h"
#include "foundation/update/DestageContext.h"
#include "foundation/win/ErrorText.h"
#include "framework/config/ConfigSystem.h"
#include "support/Capture.h"
#include "support/ForwardingFilesystem.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::fs {
// Readable paths in assertion failures.
inline void PrintTo(const Path& path, std::ostream* out) {
    *out << path.utf8();
}
}  // namespace kvx::fs

namespace kvx::test {

// Fails chosen operations on chosen paths a number of times with a chosen Windows error.
class FaultyFilesystem final : public ForwardingFilesystem {
public:
    enum class Op { Rename, RemoveTree, Remove, CreateDirectories, ReadSymlink };

    using ForwardingFilesystem::ForwardingFilesystem;

    void fail(Op op, const fs::Path& path, fs::OsError error, int times) {
        mFaults[{op, key(path)}] = {error, times};
    }
    int calls(Op op, const fs::Path& path) const {
        const auto found = mCalls.find({op, key(path)});
        return found == mCalls.end() ? 0 : found->second;
    }

    Result<void, fs::OsError> rename(const fs::Path& from, const fs::Path& to) override {
        return guarded(Op::Rename, from, [&] { return inner().rename(from, to); });
    }
    Result<bool, fs::OsError> removeDirectory(const fs::Path& path, bool recursive) override {
        return guarded(Op::RemoveTree, path, [&] { return inner().removeDirectory(path, recursive); });
    }
    Result<bool, fs::OsError> remove(const fs::Path& path) override {
        return guarded(Op::Remove, path, [&] { return inner().remove(path); });
    }
    Result<bool, fs::OsError> createDirectories(const fs::Path& path) override {
        return guarded(Op::CreateDirectories, path, [&] { return inner().createDirectories(path); });
    }
    Result<fs::Path, fs::OsError> readSymlink(const fs::Path& link) override {
        return guarded(Op::ReadSymlink, link, [&] { return inner().readSymlink(link); });
    }
    // The next link creations at `link` report success but make nothing (as Wine does), or make
    // one to `madeTarget` instead.
    void misreportLinkCreation(const fs::Path& link, int times, std::optional<fs::Path> madeTarget = {}) {
        mMisreported[key(link)] = {times, std::move(madeTarget)};
    }
    Result<void, fs::OsError> createDirectorySymlink(const fs::Path& target, const fs::Path& link) override {
        auto found = mMisreported.find(key(link));
        if (found == mMisreported.end() || found->second.first == 0) {
            return inner().createDirectorySymlink(target, link);
        }
        --found->second.first;
        if (found->second.second) {
            EXPECT_TRUE(inner().createDirectorySymlink(*found->second.second, link).isOk());
        }
        return Ok();
    }

private:
    struct Fault {
        fs::OsError error;
        int timesLeft;
    };
    using Key = std::pair<Op, std::wstring>;

    static std::wstring key(const fs::Path& path) {
        std::wstring text = path.std().lexically_normal().wstring();
        for (wchar_t& c : text) {
            c = static_cast<wchar_t>(std::towlower(c));
        }
        return text;
    }
    // The injected error while the fault lasts, else the operation itself.
    template <typename Operation>
    auto guarded(Op op, const fs::Path& path, Operation operation) -> decltype(operation()) {
        ++mCalls[{op, key(path)}];
        const auto found = mFaults.find({op, key(path)});
        if (found == mFaults.end() || found->second.timesLeft == 0) {
            return operation();
        }
        --found->second.timesLeft;
        return Err(found->second.error);
    }

    std::map<Key, Fault> mFaults;
    std::map<Key, int> mCalls;
    std::map<std::wstring, std::pair<int, std::optional<fs::Path>>> mMisreported;
};

inline constexpr fs::OsError kAccessDenied = 5;
// (code, severity name, message) of a telemetry record.
using Records = std::vector<std::tuple<std::string, std::string, std::string>>;

// The per-attempt warning as the swap writes it.
inline std::string ioWarning(int attempt, fs::OsError error) {
    return "Failed IO step while swapping client folders. attemptNumber[" + std::to_string(attempt) +
           "], lastError[" + std::to_string(error) + ": " + WinUtils::getErrorAsString(error) + "]";
}

class SwapFixture : public ::testing::Test {
protected:
    SwapFixture() : mConfig(foundation::utils::Singleton<config::ConfigSystem>::create()) {
        mConfig.set(config::Store::Ordinary, "machine.telemetry.updateCorrelationId", "swap-test",
                    config::kScopeMachine);
        mContext.installRoot = mRoot.path();
        mContext.clientPath = mRoot / apps::kClientFolderName;
        mContext.clientExePath = mContext.clientPath / L"KorvDesktop.exe";
        mContext.outdatedClientPath = mRoot / L"outdatedKorvDesktop-20260101000000";
        mContext.stagedFolderName = apps::kPlainStagedFolderName;
        mContext.stagedClientPath = mRoot / L"StagedKorvDesktop" / apps::kClientFolderName;
        mContext.stagedLinkTarget = fs::Path(L"StagedKorvDesktop") / apps::kClientFolderName;
    }
    ~SwapFixture() override { foundation::utils::Singleton<config::ConfigSystem>::destroy(); }

    // Every record written so far.
    Records telemetry() const {
        Records out;
        for (const auto& record : apps::decodeDestageErrors(mConfig.getString("machine.destageErrors", ""))) {
            out.emplace_back(record.fields.ecod, record.fields.esev, record.fields.estr);
        }
        return out;
    }
    std::vector<std::string> messagesAt(int32_t level) {
        std::vector<std::string> out;
        for (const auto& line : mLogger->lines()) {
            if (line.level == level)
                out.push_back(line.message);
        }
        return out;
    }
    std::chrono::milliseconds waited() {
        std::chrono::milliseconds total{0};
        for (auto sleep : mClock->sleeps()) total += sleep;
        return total;
    }

    config::ConfigSystem& mConfig;
    ScopedTestClock mClock;
    ScopedCapturingLogger mLogger;
    TempFolder mRoot;
    apps::DestageContext mContext;
};

}  // namespace kvx::test
