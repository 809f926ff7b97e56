// Plain-mode swap on real folders with faults injected through the filesystem seam: under Wine open
// files never block a rename or removal, and the Restart Manager names nobody, so the failures and
// the locking process come from stand-ins. Waits run on the test clock.
#include "destager/FolderSwap.h"

#include <gtest/gtest.h>

#include "destager/RestoreInstall.h"
#include "destager/StepTestSupport.h"
#include "foundation/update/ResultCodes.h"
#include "process/ProcessUtilsImpl.h"
#include "support/ScopedFilesystem.h"

namespace kvx::apps::destager::internal {
namespace {

using services::logging::Error;
using services::logging::Warn;
using Op = test::FaultyFilesystem::Op;
using test::Texts;

constexpr fs::OsError kSharingViolation = 32;

// Names a suite process as the holder of every file it is asked about.
class HolderNamingProcessUtils final : public services::process::ProcessUtilsImpl {
public:
    void getProcessLockingFiles(const std::vector<std::string>& files, bool,
                                std::optional<services::process::LockReport>& report) override {
        report = services::process::LockReport{"KorvDesktop.exe", false, {files.begin(), files.end()}};
    }
};

class FolderSwap : public test::StepFixture {
protected:
    FolderSwap() {
        mRoot.writeFile(mContext.clientExePath, "old");
        mRoot.writeFile(mContext.stagedClientPath / L"KorvDesktop.exe", "new");
    }
    ~FolderSwap() override { services::process::setProcessUtils(nullptr); }

    void nameLockHolder() {
        services::process::setProcessUtils(std::make_shared<HolderNamingProcessUtils>());
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

    test::ScopedFilesystem<test::FaultyFilesystem> mFs{std::make_shared<test::FaultyFilesystem>()};
};

// A step that gives up names the holder of the folder's files when there is one; a step that
// succeeds on a later attempt only warns.
TEST_F(FolderSwap, RenameStepsRetryAndGiveTheirCodeWhenTheyGiveUp) {
    const fs::Path deepClient = mRoot / L"a\\b\\Korv Desktop";
    mFs->fail(Op::CreateDirectories, deepClient.parent());
    EXPECT_EQ(renameFolder(mContext.stagedClientPath, deepClient, "staged").code, kRenameParentNotCreated);
    EXPECT_EQ(messagesAt(Warn).size(), 5u);
    EXPECT_TRUE(messagesAt(Error).empty());

    mLogger->clear();
    nameLockHolder();
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
    mFs->fail(Op::Rename, mContext.stagedClientPath, test::kAccessDenied, 2);
    EXPECT_EQ(renameFolder(mContext.stagedClientPath, mContext.outdatedClientPath, "staged").code,
              kRenameMoved);
    EXPECT_EQ(messagesAt(Warn),
              (Texts{"Failed IO step while swapping client folders. attemptNumber[1], lastError[<denied>]",
                     "Failed IO step while swapping client folders. attemptNumber[2], lastError[<denied>]"}));
    EXPECT_EQ(mLogger->linesContaining("attemptNumber[1]").at(0).function, "kvx::apps::logFileIoFailure");
    EXPECT_TRUE(messagesAt(Error).empty());
    EXPECT_EQ(outcome(), "old new - 10000ms");
}

// The old client that cannot move stays; a staged client that cannot move rolls the old one back,
// which is reported when it fails too.
TEST_F(FolderSwap, SwapFailuresLeaveOrRollBackTheOldClient) {
    nameLockHolder();
    mFs->fail(Op::Rename, mContext.clientPath);
    EXPECT_EQ(swapFolders(mContext), kMoveOldClientFailed);
    EXPECT_EQ(messagesAt(Error).at(0),
              "Failed to rename folder from oldPath[<root>\\Korv Desktop] to "
              "newPath[<root>\\outdatedKorvDesktop-7], error[<denied>]");
    EXPECT_EQ(outcome(), "old - new 4000ms");

    services::process::setProcessUtils(nullptr);
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
              (Texts{"UPEC-2299 diag: Locked DLL/EXE found[<root>\\Korv Desktop\\KorvDesktop.exe], "
                     "locking process[KorvDesktop.exe], context[oldClient:rename]",
                     "UPEC-2202 fatal: Failed to rename exisiting client from [<root>\\Korv Desktop] "
                     "to [<root>\\outdatedKorvDesktop-7], osError[5], code[2]",
                     stagedFailed, stagedFailed,
                     "UPEC-2204 warning: Failed to rename to restore old client back from "
                     "[<root>\\outdatedKorvDesktop-7] to [<root>\\Korv Desktop], osError[5], code[2]"}));
}

// Without an outdated folder there is nothing to restore; one left by an earlier run is replaced.
TEST_F(FolderSwap, RestoreNeedsAnOutdatedFolderAndASwapReplacesAStaleOne) {
    restoreInstall(mContext);
    EXPECT_EQ(telemetry(), Texts{"UPEC-2204 warning: Could not find install to restore"});
    mRoot.writeFile(mContext.outdatedClientPath / L"KorvDesktop.exe", "earlier run");
    EXPECT_EQ(swapFolders(mContext), kDestageSuccess);
    EXPECT_EQ(mLogger->linesContaining("Destination directory already exists").size(), 1u);
    EXPECT_EQ(messagesAt(Warn), Texts{"UPEC-2204: Could not find install to restore"})
        << "the swap never retried";
    EXPECT_EQ(outcome(), "new old - 0ms");
}

}  // namespace
}  // namespace kvx::apps::destager::internal
