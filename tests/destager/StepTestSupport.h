#pragma once
// Shared by the tests of the update's steps: fault injection per operation and path, and a fixture
// with virtual time, captured log lines, the telemetry key read back and a temporary install.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <numeric>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "destager/FolderSwap.h"
#include "destager/TelemetryRecordDecoding.h"
#include "foundation/Singleton.h"
#include "foundation/fs/FileFunctions.h"
#include "foundation/update/DestageContext.h"
#include "framework/config/ConfigSystem.h"
#include "support/Capture.h"
#include "support/ForwardingFilesystem.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::test {

inline constexpr fs::OsError kAccessDenied = 5;
using Texts = std::vector<std::string>;

// Fails chosen operations on chosen paths a number of times with a chosen Windows error.
class FaultyFilesystem final : public ForwardingFilesystem {
public:
    enum class Op { Rename, RemoveTree, Remove, CreateDirectories, ReadSymlink };

    using ForwardingFilesystem::ForwardingFilesystem;

    // Five failures outlast every retry schedule of a swap step.
    void fail(Op op, const fs::Path& path, fs::OsError error = kAccessDenied, int times = 5) {
        mFaults[{op, key(path)}] = {error, times};
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
    // The next link creation at `link` reports success but makes nothing (as Wine does), or makes
    // one to `madeTarget` instead.
    void misreportLinkCreation(const fs::Path& link, std::optional<fs::Path> madeTarget) {
        mMisreported[key(link)] = std::move(madeTarget);
    }
    Result<void, fs::OsError> createDirectorySymlink(const fs::Path& target, const fs::Path& link) override {
        const auto found = mMisreported.find(key(link));
        if (found == mMisreported.end()) {
            return inner().createDirectorySymlink(target, link);
        }
        if (found->second) {
            EXPECT_TRUE(inner().createDirectorySymlink(*found->second, link).isOk());
        }
        mMisreported.erase(found);
        return Ok();
    }

private:
    static std::wstring key(const fs::Path& path) { return path.std().lexically_normal().wstring(); }
    // The injected error while the fault lasts, else the operation itself.
    template <typename Operation>
    auto guarded(Op op, const fs::Path& path, Operation operation) -> decltype(operation()) {
        auto& [error, failuresLeft] = mFaults[{op, key(path)}];
        if (failuresLeft == 0) {
            return operation();
        }
        --failuresLeft;
        return Err(error);
    }

    std::map<std::pair<Op, std::wstring>, std::pair<fs::OsError, int>> mFaults;  // error, failures left
    std::map<std::wstring, std::optional<fs::Path>> mMisreported;
};

class StepFixture : public ::testing::Test {
protected:
    StepFixture() : mConfig(foundation::utils::Singleton<config::ConfigSystem>::create()) {
        mConfig.set(config::Store::Ordinary, "machine.telemetry.updateCorrelationId", "test-id",
                    config::kScopeMachine);
        mContext =
            apps::buildDestageContext(mRoot.path(), mRoot / L"StagedKorvDesktop\\Korv Desktop\\x.exe", 7);
    }
    ~StepFixture() override { foundation::utils::Singleton<config::ConfigSystem>::destroy(); }

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
