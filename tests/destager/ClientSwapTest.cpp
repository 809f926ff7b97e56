// Swapping the client in, plain and symlink mode, on real folders. Wine never blocks a rename, names no
// lock holder and makes no directory link, so faults, holder and links are stand-ins; waits are virtual.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>

#include "destager/ClientFileVersion.h"
#include "destager/CrashPoints.h"
#include "destager/FolderSwap.h"
#include "destager/RestoreInstall.h"
#include "destager/StepTestSupport.h"
#include "destager/SymlinkMode.h"
#include "foundation/registry/RegistryTestSupport.h"
#include "foundation/update/ResultCodes.h"
#include "process/ProcessUtilsImpl.h"
#include "support/FakeSymlinkFilesystem.h"
#include "support/ForwardingFilesystem.h"
#include "support/ScopedFilesystem.h"

namespace kvx::apps::destager::internal {
namespace {

using namespace std::chrono_literals;
using services::logging::Error;
using services::logging::Warn;
using test::kAccessDenied;
using test::Texts;
namespace stdfs = std::filesystem;

constexpr fs::OsError kSharingViolation = 32;
enum class Op { Rename, RemoveTree, Remove, CreateDirectories, ReadSymlink };

// Fails chosen operations on chosen paths a number of times with a chosen Windows error.
class FaultyFilesystem final : public test::ForwardingFilesystem {
public:
    using ForwardingFilesystem::ForwardingFilesystem;

    // Five failures outlast every retry schedule of a swap step.
    void fail(Op op, const fs::Path& path, fs::OsError error = kAccessDenied, int times = 5) {
        mFaults[{op, key(path)}] = {error, times};
    }
    // The next link creation at `link` reports success, makes nothing (as Wine) or one to `madeTarget`.
    void misreportLinkCreation(const fs::Path& link, std::optional<fs::Path> madeTarget) {
        mMisreported[key(link)] = std::move(madeTarget);
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
    Result<void, fs::OsError> createDirectorySymlink(const fs::Path& target, const fs::Path& link) override {
        const auto misreported = mMisreported.extract(key(link));
        if (misreported.empty()) {
            return inner().createDirectorySymlink(target, link);
        }
        if (misreported.mapped()) {
            return inner().createDirectorySymlink(*misreported.mapped(), link);
        }
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

// Faults injected in front of the recorded links.
class SwapFixture : public test::StepFixture {
protected:
    std::shared_ptr<test::FakeSymlinkFilesystem> mLinks = std::make_shared<test::FakeSymlinkFilesystem>();
    test::ScopedFilesystem<FaultyFilesystem> mFs{std::make_shared<FaultyFilesystem>(mLinks)};
};

// Names a suite process as the holder of every file it is asked about.
class HolderNamingProcessUtils final : public services::process::ProcessUtilsImpl {
public:
    void getProcessLockingFiles(const std::vector<std::string>& files, bool,
                                std::optional<services::process::LockReport>& report) override {
        report = services::process::LockReport{"KorvDesktop.exe", false, {files.begin(), files.end()}};
    }
};

class FolderSwap : public SwapFixture {
protected:
    FolderSwap() {
        mRoot.writeFile(mContext.clientExePath, "old");
        mRoot.writeFile(mContext.stagedClientPath / L"KorvDesktop.exe", "new");
    }
    ~FolderSwap() override {
        services::process::setProcessUtils(nullptr);
        setCrashHook(nullptr);
    }
    // The executable in the client, outdated and staged folders ("-": none), then the time waited.
    std::string outcome() {
        std::string text;
        for (const fs::Path& folder :
             {mContext.clientPath, mContext.outdatedClientPath, mContext.stagedClientPath}) {
            text += clientExeIn(folder) + " ";
        }
        return text + std::to_string(waited().count()) + "ms";
    }
};

// A step that gives up names the files' holder if any; one that succeeds on a later attempt only warns.
TEST_F(FolderSwap, RenameStepsRetryAndGiveTheirCodeWhenTheyGiveUp) {
    const fs::Path deepClient = mRoot / L"a\\b\\Korv Desktop";
    mFs->fail(Op::CreateDirectories, deepClient.parent());
    EXPECT_EQ(renameFolder(mContext.stagedClientPath, deepClient, "staged").code, kRenameParentNotCreated);
    EXPECT_EQ(messagesAt(Warn).size(), 5u);
    EXPECT_TRUE(messagesAt(Error).empty());

    mLogger->clear();
    services::process::setProcessUtils(std::make_shared<HolderNamingProcessUtils>());
    mFs->fail(Op::RemoveTree, mContext.clientPath, kSharingViolation);
    const RenameResult result = renameFolder(mContext.stagedClientPath, mContext.clientPath, "staged");
    EXPECT_EQ(std::pair(result.code, result.osError),
              std::pair(kRenameDestinationNotRemoved, kSharingViolation));
    EXPECT_EQ(messagesAt(Warn).size(), 5u);
    EXPECT_EQ(messagesAt(Error), Texts{"Failed to remove old copy of destination directory. "
                                       "newPath[<root>\\Korv Desktop], error[" +
                                       osErrorText(kSharingViolation) + "]"});
    EXPECT_EQ(telemetry(),
              Texts{"UPEC-2299 diag: Locked DLL/EXE found[<root>\\Korv Desktop\\KorvDesktop.exe], "
                    "locking process[KorvDesktop.exe], context[staged:removeDest]"});
    EXPECT_EQ(outcome(), "old - new 8000ms");

    mLogger->clear();
    mFs->fail(Op::Rename, mContext.stagedClientPath, kAccessDenied, 2);
    EXPECT_EQ(renameFolder(mContext.stagedClientPath, mContext.outdatedClientPath, "staged").code,
              kRenameMoved);
    EXPECT_EQ(messagesAt(Warn),
              (Texts{"Failed IO step while swapping client folders. attemptNumber[1], lastError[<denied>]",
                     "Failed IO step while swapping client folders. attemptNumber[2], lastError[<denied>]"}));
    EXPECT_EQ(mLogger->linesContaining("attemptNumber[1]").at(0).function, "kvx::apps::logFileIoFailure");
    EXPECT_TRUE(messagesAt(Error).empty());
    EXPECT_EQ(outcome(), "old new - 10000ms");
}

// An old client that cannot move stays; a staged one that cannot rolls the old back, reported if it fails.
TEST_F(FolderSwap, SwapFailuresLeaveOrRollBackTheOldClient) {
    mFs->fail(Op::Rename, mContext.clientPath);
    EXPECT_EQ(swapFolders(mContext), kMoveOldClientFailed);
    EXPECT_EQ(messagesAt(Error).at(0),
              "Failed to rename folder from oldPath[<root>\\Korv Desktop] to "
              "newPath[<root>\\outdatedKorvDesktop-7], error[<denied>]");
    EXPECT_EQ(outcome(), "old - new 4000ms");

    mFs->fail(Op::Rename, mContext.stagedClientPath);
    EXPECT_EQ(swapFolders(mContext), kMoveStagedClientFailed);
    EXPECT_EQ(mLogger->linesContaining("Old client version restored").size(), 1u);
    EXPECT_EQ(outcome(), "old - new 8000ms");

    mFs->fail(Op::Rename, mContext.stagedClientPath);
    mFs->fail(Op::Rename, mContext.outdatedClientPath);
    EXPECT_EQ(swapFolders(mContext), kMoveStagedClientFailed);
    EXPECT_EQ(outcome(), "- old new 16000ms");
    const std::string stagedFailed =
        "UPEC-2203 fatal: Failed to rename staged [<root>\\StagedKorvDesktop\\Korv Desktop] to "
        "[<root>\\Korv Desktop], osError[5], code[2]";
    EXPECT_EQ(telemetry(),
              (Texts{"UPEC-2202 fatal: Failed to rename exisiting client from [<root>\\Korv Desktop] "
                     "to [<root>\\outdatedKorvDesktop-7], osError[5], code[2]",
                     stagedFailed, stagedFailed,
                     "UPEC-2204 warning: Failed to rename to restore old client back from "
                     "[<root>\\outdatedKorvDesktop-7] to [<root>\\Korv Desktop], osError[5], code[2]"}));
}

std::vector<std::pair<CrashStep, bool>> gRegisteredAtStep;
void recordRegisteredAtStep(CrashStep step) {
    gRegisteredAtStep.emplace_back(step, test::StepFixture::resumeRegistered());
}

// Where a crash would leave the client path empty, the way back is registered, until the install is
// whole again after the swap or the rollback; a swap that cannot register it goes on without. With no
// outdated folder there is nothing to restore; one left by an earlier run is replaced.
TEST_F(FolderSwap, TheWayBackCoversEveryStepThatCanLeaveTheClientPathEmpty) {
    setCrashHook(&recordRegisteredAtStep);
    restoreInstall(mContext);
    mRoot.writeFile(mContext.outdatedClientPath / L"KorvDesktop.exe", "earlier run");
    EXPECT_EQ(swapFolders(mContext), kDestageSuccess);
    EXPECT_EQ(mLogger->linesContaining("Destination directory already exists").size(), 1u);
    EXPECT_EQ(messagesAt(Warn), Texts{"UPEC-2204: Could not find install to restore"})
        << "the swap never retried";
    mRoot.writeFile(mContext.stagedClientPath / L"KorvDesktop.exe", "newer");
    mFs->fail(Op::Rename, mContext.stagedClientPath);
    EXPECT_EQ(swapFolders(mContext), kMoveStagedClientFailed);
    using enum CrashStep;
    const std::pair retrying{renameRetrying, true};
    EXPECT_EQ(gRegisteredAtStep, (std::vector<std::pair<CrashStep, bool>>{{swapBeforeOldClientMove, false},
                                                                          {swapAfterOldClientMove, true},
                                                                          {swapAfterStagedMove, false},
                                                                          {swapBeforeOldClientMove, false},
                                                                          {swapAfterOldClientMove, true},
                                                                          retrying,
                                                                          retrying,
                                                                          retrying,
                                                                          retrying,
                                                                          retrying,
                                                                          {rollbackBeforeRestore, true}}));
    EXPECT_FALSE(resumeRegistered());

    test::ScriptedRegistryProxy proxy;
    proxy.refuseValue = [](LPCWSTR) { return LSTATUS{ERROR_ACCESS_DENIED}; };
    test::ScopedRegistryProxy scoped(proxy);
    EXPECT_EQ(swapFolders(mContext), kDestageSuccess);
    EXPECT_EQ(outcome(), "newer new - 4000ms");
    EXPECT_EQ(telemetry().front(), "UPEC-2204 warning: Could not find install to restore");
    Texts logged;
    for (const auto& line : mLogger->linesContaining("resume after restart")) {
        logged.push_back(shortened(line.message));
    }
    const std::string registered =
        "Registered resume after restart, value[!KorvDestagerResume], "
        "command[\"<root>\\StagedKorvDesktop\\Korv Desktop\\x.exe\"]";
    const std::string removed = "Removed resume after restart, value[!KorvDestagerResume]";
    EXPECT_EQ(logged,
              (Texts{registered, removed, registered, removed,
                     "Failed to register resume after restart, value[!KorvDestagerResume]: value not written",
                     "UPEC-2299: Failed to register resume after restart: value not written"}));
}

const fs::Path kVersionedFolder = L"1.2.3.4-1700000000";
const fs::Path kVersionedTarget = kVersionedFolder / kClientFolderName;
constexpr int64_t kNow = 1'767'225'600'900'000'000;  // 2026-01-01T00:00:00.9Z

class SymlinkMode : public SwapFixture {
protected:
    SymlinkMode() {
        mClock->setWallClock(kNow);
        mContext =
            buildDestageContext(mRoot.path(), mRoot / L"StagedKorvDesktop-13.700\\Korv Desktop\\x.exe", 7);
        mRoot.writeFile(mContext.stagedClientPath / L"KorvDesktop.exe", "new");
    }

    // A plain client whose executable carries a real version resource; returns the versioned
    // folder's name a migration gives it.
    std::string makePlainInstall() {
        mRoot.makeFolder(kClientFolderName);
        stdfs::copy_file(L"C:\\windows\\system32\\kernel32.dll", mContext.clientExePath.std());
        return apps::internal::fileVersionText(mContext.clientExePath) + "-1767225600";
    }
    void makeLinkedInstall() {
        mRoot.writeFile(mRoot / kVersionedTarget / L"KorvDesktop.exe", "linked");
        ASSERT_TRUE(mLinks->createDirectorySymlink(kVersionedTarget, mContext.clientPath).isOk());
    }
    // The client link's stored target, "plain" for a client folder (no link), "-" for none.
    std::string client() {
        auto link = mLinks->link(mContext.clientPath);
        return link                                                   ? link->storedTarget.utf8()
               : stdfs::is_regular_file(mContext.clientExePath.std()) ? "plain"
                                                                      : "-";
    }
};

// A failed move changes nothing; a failed link moves the client back (successes: orchestration tests).
TEST_F(SymlinkMode, MigrationWhoseMoveOrLinkFailsKeepsThePlainClient) {
    const std::string versioned = makePlainInstall();
    mFs->fail(Op::Rename, mContext.clientPath);
    EXPECT_EQ(migrateToSymlinkMode(mContext), kSymlinkMigrationMoveFailed);
    mClock->setWallClock(kNow);  // the same versioned folder's name
    mLinks->failLinkCreation(kAccessDenied, 5);
    EXPECT_EQ(migrateToSymlinkMode(mContext), kSymlinkMigrationLinkFailed);
    EXPECT_EQ(telemetry(),
              (Texts{"UPEC-2220 fatal: Failed to move current install folder [<root>\\Korv Desktop] to "
                     "versioned folder [<root>\\" +
                         versioned + "\\Korv Desktop], osError[<denied>], code[2]",
                     "UPEC-2221 fatal: Failed to create symlink[<root>\\Korv Desktop] to [" + versioned +
                         "\\Korv Desktop], osError[<denied>]"}));
    EXPECT_EQ(mLogger->linesContaining("Migrating existing install to symlink mode").at(0).function,
              "kvx::apps::destager::internal::migrateToSymlinkMode");
    EXPECT_EQ(client(), "plain");
    EXPECT_FALSE(stdfs::exists((mRoot / fs::Path::fromUtf8(versioned)).std()));
    EXPECT_EQ(waited(), 8000ms);
}

// The link cannot be removed or made, or is reported as made but does not read back: missing (what
// Wine does) or pointing elsewhere. The previous version stays linked.
TEST_F(SymlinkMode, SwapFailuresGive34And35AndKeepThePreviousLink) {
    const fs::Path elsewhere = L"elsewhere\\Korv Desktop";
    mRoot.writeFile(mRoot / elsewhere / L"KorvDesktop.exe", "elsewhere");
    makeLinkedInstall();
    mFs->fail(Op::Remove, mContext.clientPath);
    EXPECT_EQ(swapSymlinkFolders(mContext), kSymlinkSwapRemoveLinkFailed);
    mLinks->failLinkCreation(kAccessDenied, 5);
    EXPECT_EQ(swapSymlinkFolders(mContext), kSymlinkSwapCreateLinkFailed);
    EXPECT_EQ(waited(), 8000ms);
    for (const auto& made : {std::optional<fs::Path>{}, std::optional(elsewhere)}) {
        mFs->misreportLinkCreation(mContext.clientPath, made);
        EXPECT_EQ(swapSymlinkFolders(mContext), kSymlinkSwapCreateLinkFailed);
    }
    const std::string notMade =
        "UPEC-2228 fatal: Failed to create new symlink at [<root>\\Korv Desktop] to point to "
        "[StagedKorvDesktop-13.700\\Korv Desktop], osError[";
    EXPECT_EQ(telemetry(),
              (Texts{"UPEC-2227 fatal: Failed to remove symlink at [<root>\\Korv Desktop], osError[<denied>]",
                     notMade + "<denied>]", notMade + osErrorText(2) + "]", notMade + osErrorText(0) + "]"}));
    EXPECT_EQ(mLogger->linesContaining("after failed swap").size(), 3u);
    EXPECT_EQ(client(), kVersionedTarget.utf8());
    // As a killed migration leaves it: nothing to link back, the staged client moves in as a folder.
    ASSERT_TRUE(mLinks->remove(mContext.clientPath).isOk());
    mLinks->failLinkCreation(kAccessDenied, 5);
    EXPECT_EQ(swapSymlinkFolders(mContext), kSymlinkSwapCreateLinkFailed);
    EXPECT_EQ(client(), "plain");
    EXPECT_EQ(mLogger->linesContaining("No previous client to link back").size(), 1u);
}

// A versioned folder that stays is a warning; a link can point anywhere, only the install's own goes.
TEST_F(SymlinkMode, RevertDeletesOnlyTheInstallsOwnVersionedFolderAndSucceedsWhenItStays) {
    test::TempFolder outside;
    mFs->fail(Op::RemoveTree, mRoot / kVersionedFolder);
    const std::string refused = "refused: not a folder of its own in the install root";
    const std::pair<fs::Path, std::string> rows[] = {
        {kVersionedTarget, "<denied>"}, {L"loose client", refused}, {outside / L"v1\\Korv Desktop", refused}};
    Texts expected;
    for (const auto& [stored, error] : rows) {
        const fs::Path resolved = stored.isAbsolute() ? stored : mRoot / stored;
        mRoot.writeFile(resolved / L"KorvDesktop.exe", "linked");
        ASSERT_TRUE(mLinks->createDirectorySymlink(stored, mContext.clientPath).isOk());
        EXPECT_EQ(revertSymlinkMode(mContext), kDestageSuccess);
        EXPECT_EQ(client(), "plain");
        EXPECT_TRUE(stdfs::is_directory(resolved.parent().std())) << stored.utf8();
        expected.push_back(shortened("UPEC-2225 warning: Failed to remove old versioned parent folder at [" +
                                     resolved.parent().utf8() + "], osError[" + error + "]"));
        EXPECT_EQ(telemetry(), expected);
        stdfs::remove_all(mContext.clientPath.std());
    }
    EXPECT_EQ(mLogger->linesContaining("Reverting existing symlink mode install").at(0).function,
              "kvx::apps::destager::internal::revertSymlinkMode");
    EXPECT_EQ(waited(), 0ms);  // one attempt is enough for a leftover
}

// Unresolvable, unremovable or unmovable: the client is linked again; if that fails, both are reported.
TEST_F(SymlinkMode, RevertFailuresGive31To33AndKeepTheLinkIfTheyCan) {
    makeLinkedInstall();
    mFs->fail(Op::ReadSymlink, mContext.clientPath);
    EXPECT_EQ(revertSymlinkMode(mContext), kSymlinkRevertResolveLinkFailed);
    mFs->fail(Op::Remove, mContext.clientPath);
    EXPECT_EQ(revertSymlinkMode(mContext), kSymlinkRevertRemoveLinkFailed);
    mFs->fail(Op::Rename, mRoot / kVersionedTarget, kAccessDenied, 10);
    EXPECT_EQ(revertSymlinkMode(mContext), kSymlinkRevertMoveBackFailed);
    EXPECT_EQ(client(), kVersionedTarget.utf8());
    EXPECT_EQ(mLogger->linesContaining("Attempting to re-link client folder after failed move").size(), 1u);
    mLinks->failLinkCreation(kAccessDenied, 5);
    EXPECT_EQ(revertSymlinkMode(mContext), kSymlinkRevertMoveBackFailed);
    EXPECT_EQ(client(), "-");
    EXPECT_TRUE(stdfs::is_regular_file((mRoot / kVersionedTarget / L"KorvDesktop.exe").std()));
    const std::string moveFailed =
        "UPEC-2224 fatal: Failed to rename target folder [<root>\\1.2.3.4-1700000000\\Korv Desktop] back "
        "to install folder [<root>\\Korv Desktop], osError[<denied>], code[2]";
    EXPECT_EQ(telemetry(),
              (Texts{"UPEC-2222 fatal: Failed to resolve symlink[<root>\\Korv Desktop], osError[<denied>]",
                     "UPEC-2223 fatal: Failed to remove symlink[<root>\\Korv Desktop], osError[<denied>]",
                     moveFailed, moveFailed,
                     "UPEC-2226 warning: Failed to restore symlink[<root>\\Korv Desktop] to "
                     "[1.2.3.4-1700000000\\Korv Desktop], osError[<denied>]"}));
    EXPECT_EQ(waited(), 20000ms);
}

}  // namespace
}  // namespace kvx::apps::destager::internal
