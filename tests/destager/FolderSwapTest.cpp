// Plain-mode swap on real folders with faults injected through the filesystem seam: under Wine open
// files never block a rename or removal, and the Restart Manager names nobody, so the failures and
// the locking process come from stand-ins. Waits run on the test clock.
#include "destager/FolderSwap.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "destager/RestoreInstall.h"
#include "destager/SwapTestSupport.h"
#include "foundation/update/ResultCodes.h"
#include "process/ProcessUtilsImpl.h"
#include "support/ScopedFilesystem.h"

namespace kvx::apps::destager::internal {
namespace {

using namespace std::chrono_literals;
using services::logging::Error;
using services::logging::Warn;
using Op = test::FaultyFilesystem::Op;
using test::kAccessDenied;
using test::Records;

constexpr fs::OsError kSharingViolation = 32;

// Names a suite process as the holder of every file it is asked about.
class HolderNamingProcessUtils final : public services::process::ProcessUtilsImpl {
public:
    void getProcessLockingFiles(const std::vector<std::string>& files, bool,
                                std::optional<services::process::LockReport>& report) override {
        report = services::process::LockReport{"KorvDesktop.exe", false, {files.begin(), files.end()}};
    }
};

std::string contentOf(const fs::Path& file) {
    std::ifstream in(file.std());
    std::ostringstream text;
    text << in.rdbuf();
    return in ? text.str() : "<missing>";
}

class FolderSwap : public test::SwapFixture {
protected:
    FolderSwap() {
        mRoot.writeFile(mContext.clientExePath, "old");
        mRoot.writeFile(mContext.stagedClientPath / L"KorvDesktop.exe", "new");
    }
    ~FolderSwap() override { services::process::setProcessUtils(nullptr); }

    void nameLockHolder() {
        services::process::setProcessUtils(std::make_shared<HolderNamingProcessUtils>());
    }
    std::string client() { return contentOf(mContext.clientExePath); }
    std::string staged() { return contentOf(mContext.stagedClientPath / L"KorvDesktop.exe"); }
    std::string outdated() { return contentOf(mContext.outdatedClientPath / L"KorvDesktop.exe"); }

    test::ScopedFilesystem<test::FaultyFilesystem> mFs{std::make_shared<test::FaultyFilesystem>()};
};

TEST_F(FolderSwap, RenameSucceedingOnTheThirdAttemptWarnsTwice) {
    mFs->fail(Op::Rename, mContext.stagedClientPath, kAccessDenied, 2);
    const RenameResult result = renameFolder(mContext.stagedClientPath, mRoot / L"moved", "staged");
    EXPECT_EQ(result.code, kRenameMoved);
    EXPECT_EQ(result.osError, 0u);
    EXPECT_EQ(contentOf(mRoot / L"moved" / L"KorvDesktop.exe"), "new");
    EXPECT_EQ(messagesAt(Warn),
              (std::vector{test::ioWarning(1, kAccessDenied), test::ioWarning(2, kAccessDenied)}));
    EXPECT_EQ(mLogger->linesContaining("attemptNumber[1]").at(0).function, "kvx::apps::logFileIoFailure");
    EXPECT_TRUE(messagesAt(Error).empty());
    EXPECT_EQ(waited(), 2000ms);
}

TEST_F(FolderSwap, DestinationThatCannotBeRemovedIsReportedWithItsLockHolder) {
    nameLockHolder();
    mFs->fail(Op::RemoveTree, mContext.clientPath, kSharingViolation, 5);
    const RenameResult result = renameFolder(mContext.stagedClientPath, mContext.clientPath, "staged");
    EXPECT_EQ(result.code, kRenameDestinationNotRemoved);
    EXPECT_EQ(result.osError, kSharingViolation);
    std::vector<std::string> warnings;
    for (int attempt = 1; attempt <= 5; ++attempt)
        warnings.push_back(test::ioWarning(attempt, kSharingViolation));
    EXPECT_EQ(messagesAt(Warn), warnings);
    EXPECT_EQ(mLogger->linesContaining("Failed to remove old copy"),
              (std::vector<test::LoggedLine>{{Error, "kvx::apps::destager::internal::renameFolder",
                                              "Failed to remove old copy of destination directory. newPath[" +
                                                  mContext.clientPath.utf8() + "], error[" +
                                                  osErrorText(kSharingViolation) + "]"}}));
    EXPECT_EQ(telemetry(),
              (Records{{"UPEC-2299", "diag",
                        "Locked DLL/EXE found[" + mContext.clientExePath.utf8() +
                            "], locking process[KorvDesktop.exe], context[staged:removeDest]"}}));
    EXPECT_EQ(client(), "old");
    EXPECT_EQ(staged(), "new");
    EXPECT_EQ(waited(), 4000ms);
}

TEST_F(FolderSwap, ParentThatCannotBeCreatedGivesCode4) {
    const fs::Path destination = mRoot / L"a" / L"b" / kClientFolderName;
    mFs->fail(Op::CreateDirectories, destination.parent(), kAccessDenied, 5);
    const RenameResult result = renameFolder(mContext.stagedClientPath, destination, "staged");
    EXPECT_EQ(result.code, kRenameParentNotCreated);
    EXPECT_EQ(result.osError, kAccessDenied);
    EXPECT_EQ(messagesAt(Warn).size(), 5u);
    EXPECT_TRUE(messagesAt(Error).empty());
    EXPECT_EQ(staged(), "new");
    EXPECT_EQ(waited(), 4000ms);
}

TEST_F(FolderSwap, OldClientThatCannotBeMovedLeavesEverythingInPlace) {
    nameLockHolder();
    mFs->fail(Op::Rename, mContext.clientPath, kAccessDenied, 5);
    EXPECT_EQ(swapFolders(mContext), kMoveOldClientFailed);
    const std::string clientPath = mContext.clientPath.utf8();
    const std::string outdatedPath = mContext.outdatedClientPath.utf8();
    EXPECT_EQ(telemetry(), (Records{{"UPEC-2299", "diag",
                                     "Locked DLL/EXE found[" + mContext.clientExePath.utf8() +
                                         "], locking process[KorvDesktop.exe], context[oldClient:rename]"},
                                    {"UPEC-2202", "fatal",
                                     "Failed to rename exisiting client from [" + clientPath + "] to [" +
                                         outdatedPath + "], osError[5], code[2]"}}));
    EXPECT_EQ(mLogger->linesContaining("Failed to rename folder from oldPath[").at(0).message,
              "Failed to rename folder from oldPath[" + clientPath + "] to newPath[" + outdatedPath +
                  "], error[" + osErrorText(kAccessDenied) + "]");
    EXPECT_EQ(client(), "old");
    EXPECT_EQ(staged(), "new");
    EXPECT_EQ(mFs->calls(Op::Rename, mContext.stagedClientPath), 0);
    EXPECT_EQ(waited(), 4000ms);
}

TEST_F(FolderSwap, StagedClientThatCannotBeMovedRollsTheOldClientBack) {
    mFs->fail(Op::Rename, mContext.stagedClientPath, kAccessDenied, 5);
    EXPECT_EQ(swapFolders(mContext), kMoveStagedClientFailed);
    EXPECT_EQ(telemetry(), (Records{{"UPEC-2203", "fatal",
                                     "Failed to rename staged [" + mContext.stagedClientPath.utf8() +
                                         "] to [" + mContext.clientPath.utf8() + "], osError[5], code[2]"}}));
    EXPECT_EQ(mLogger->linesContaining("Old client version restored").size(), 1u);
    EXPECT_EQ(client(), "old");
    EXPECT_EQ(outdated(), "<missing>");
    EXPECT_EQ(staged(), "new");
    EXPECT_EQ(waited(), 4000ms);
}

TEST_F(FolderSwap, FailedRollbackIsReportedAndTheResultStays6) {
    mFs->fail(Op::Rename, mContext.stagedClientPath, kAccessDenied, 5);
    mFs->fail(Op::Rename, mContext.outdatedClientPath, kAccessDenied, 5);
    EXPECT_EQ(swapFolders(mContext), kMoveStagedClientFailed);
    const auto records = telemetry();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(std::get<0>(records[0]), "UPEC-2203");
    EXPECT_EQ(records[1],
              (std::tuple<std::string, std::string, std::string>{
                  "UPEC-2204", "warning",
                  "Failed to rename to restore old client back from [" + mContext.outdatedClientPath.utf8() +
                      "] to [" + mContext.clientPath.utf8() + "], osError[5], code[2]"}));
    EXPECT_EQ(outdated(), "old");
    EXPECT_EQ(client(), "<missing>");
    EXPECT_EQ(waited(), 8000ms);
}

TEST_F(FolderSwap, MissingClientFolderOnlyMovesTheStagedClient) {
    std::filesystem::remove_all(mContext.clientPath.std());
    EXPECT_EQ(swapFolders(mContext), kDestageSuccess);
    EXPECT_EQ(client(), "new");
    EXPECT_FALSE(std::filesystem::exists(mContext.outdatedClientPath.std()));
    EXPECT_EQ(mFs->calls(Op::Rename, mContext.clientPath), 0);
    EXPECT_TRUE(telemetry().empty());
}

TEST_F(FolderSwap, SwapReplacesAStaleOutdatedFolderAndLeavesTheOldClientThere) {
    mRoot.writeFile(mContext.outdatedClientPath / L"stale.txt", "earlier run");
    EXPECT_EQ(swapFolders(mContext), kDestageSuccess);
    EXPECT_EQ(client(), "new");
    EXPECT_EQ(outdated(), "old");
    EXPECT_FALSE(std::filesystem::exists((mContext.outdatedClientPath / L"stale.txt").std()));
    EXPECT_EQ(mLogger->linesContaining("Destination directory already exists").size(), 1u);
    EXPECT_TRUE(messagesAt(Warn).empty());
    EXPECT_EQ(waited(), 0ms);
}

TEST_F(FolderSwap, RestoreWithoutAnOutdatedFolderIsReported) {
    restoreInstall(mContext);
    EXPECT_EQ(telemetry(), (Records{{"UPEC-2204", "warning", "Could not find install to restore"}}));
    EXPECT_EQ(client(), "old");
}

}  // namespace
}  // namespace kvx::apps::destager::internal
