// Symlink mode on real folders. Wine creates no directory links (CreateSymbolicLinkW reports success
// and makes nothing), so links live in FakeSymlinkFilesystem; faults are injected in front of it and
// waits run on the test clock.
#include "destager/SymlinkMode.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "destager/ClientFileVersion.h"
#include "destager/FolderSwap.h"
#include "destager/SwapTestSupport.h"
#include "foundation/update/ResultCodes.h"
#include "support/FakeSymlinkFilesystem.h"
#include "support/ScopedFilesystem.h"

namespace kvx::apps::destager::internal {
namespace {

using namespace std::chrono_literals;
using Op = test::FaultyFilesystem::Op;
using test::kAccessDenied;
using test::Records;

const fs::Path kVersionedFolder = L"1.2.3.4-1700000000";
const fs::Path kVersionedTarget = kVersionedFolder / kClientFolderName;

class SymlinkMode : public test::SwapFixture {
protected:
    SymlinkMode() {
        mClock->setWallClock(1'767'225'600'900'000'000);  // 2026-01-01T00:00:00.9Z
        mContext.stagedFolderName = "StagedKorvDesktop-13.700";
        mContext.stagedLinkTarget = fs::Path(L"StagedKorvDesktop-13.700") / kClientFolderName;
        mContext.stagedClientPath = mRoot / mContext.stagedLinkTarget;
        mRoot.writeFile(mContext.stagedClientPath / L"KorvDesktop.exe", "new");
        mError = std::to_string(kAccessDenied) + ": " + WinUtils::getErrorAsString(kAccessDenied);
    }

    // A plain client folder whose executable carries a real version resource.
    std::string makePlainInstall() {
        mRoot.makeFolder(kClientFolderName);
        std::filesystem::copy_file(L"C:\\windows\\system32\\kernel32.dll", mContext.clientExePath.std());
        return apps::internal::fileVersionText(mContext.clientExePath) + "-1767225600";
    }
    void makeLinkedInstall() {
        mRoot.writeFile(mRoot / kVersionedTarget / L"KorvDesktop.exe", "linked");
        ASSERT_TRUE(mLinks->createDirectorySymlink(kVersionedTarget, mContext.clientPath).isOk());
    }
    std::optional<fs::Path> linkTarget() {
        auto link = mLinks->link(mContext.clientPath);
        return link ? std::optional(link->storedTarget) : std::nullopt;
    }
    uint64_t clientExeSize() { return fs::filesystem().fileSize(mContext.clientExePath).unwrap(); }

    std::string mError;
    std::shared_ptr<test::FakeSymlinkFilesystem> mLinks = std::make_shared<test::FakeSymlinkFilesystem>();
    test::ScopedFilesystem<test::FaultyFilesystem> mFs{std::make_shared<test::FaultyFilesystem>(mLinks)};
};

TEST_F(SymlinkMode, MigrationMovesTheClientIntoAVersionedFolderAndLinksItRelatively) {
    const std::string expectedName = makePlainInstall();
    EXPECT_EQ(migrateToSymlinkMode(mContext), kDestageSuccess);
    ASSERT_TRUE(linkTarget());
    const std::string stored = linkTarget()->utf8();
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(stored, parts, std::regex(R"(((\d+\.\d+\.\d+\.\d+)-\d{10})\\Korv Desktop)")))
        << stored;
    EXPECT_NE(parts[2].str(), "0.0.0.0");  // the copied system file has a version resource
    EXPECT_EQ(parts[1].str(), expectedName);
    EXPECT_TRUE(std::filesystem::is_regular_file((mRoot / *linkTarget() / L"KorvDesktop.exe").std()));
    EXPECT_TRUE(fs::filesystem().exists(mContext.clientExePath).unwrap());
    EXPECT_EQ(mLogger->linesContaining("Migrating existing install to symlink mode").at(0).function,
              "kvx::apps::destager::internal::migrateToSymlinkMode");
    EXPECT_TRUE(telemetry().empty());
}

TEST_F(SymlinkMode, MigrationWhoseMoveFailsGives29) {
    const fs::Path versioned = mRoot / fs::Path::fromUtf8(makePlainInstall()) / kClientFolderName;
    mFs->fail(Op::Rename, mContext.clientPath, kAccessDenied, 5);
    EXPECT_EQ(migrateToSymlinkMode(mContext), kSymlinkMigrationMoveFailed);
    EXPECT_EQ(telemetry(), (Records{{"UPEC-2220", "fatal",
                                     "Failed to move current install folder [" + mContext.clientPath.utf8() +
                                         "] to versioned folder [" + versioned.utf8() + "], osError[" +
                                         mError + "], code[2]"}}));
    EXPECT_FALSE(linkTarget());
    EXPECT_TRUE(std::filesystem::is_regular_file(mContext.clientExePath.std()));
    EXPECT_EQ(waited(), 4000ms);
}

TEST_F(SymlinkMode, MigrationWhoseLinkFailsGives30AndMovesTheClientBack) {
    const fs::Path target = fs::Path::fromUtf8(makePlainInstall()) / kClientFolderName;
    mLinks->failLinkCreation(kAccessDenied, 5);
    EXPECT_EQ(migrateToSymlinkMode(mContext), kSymlinkMigrationLinkFailed);
    EXPECT_EQ(telemetry(), (Records{{"UPEC-2221", "fatal",
                                     "Failed to create symlink[" + mContext.clientPath.utf8() + "] to [" +
                                         target.utf8() + "], osError[" + mError + "]"}}));
    EXPECT_FALSE(linkTarget());
    EXPECT_TRUE(std::filesystem::is_regular_file(mContext.clientExePath.std()));
    EXPECT_FALSE(std::filesystem::exists((mRoot / target.parent()).std()));
    EXPECT_EQ(mLinks->linkCreationAttempts(), 5);
    EXPECT_EQ(waited(), 4000ms);
}

// A link reported as made is read back: missing (what Wine does) or pointing elsewhere, the step
// failed, and the player keeps a launchable client at the client path.
TEST_F(SymlinkMode, LinksThatDoNotReadBackFailTheirStep) {
    const fs::Path elsewhere = L"elsewhere\\Korv Desktop";
    mRoot.writeFile(mRoot / elsewhere / L"KorvDesktop.exe", "elsewhere");
    const std::string notFound = "2: " + WinUtils::getErrorAsString(2);
    const std::string noError = "0: " + WinUtils::getErrorAsString(0);
    for (const auto& [made, osError] :
         {std::pair{std::optional<fs::Path>{}, notFound}, {elsewhere, noError}}) {
        SCOPED_TRACE(osError);
        mConfig.set(config::Store::Ordinary, "machine.destageErrors", "", config::kScopeMachine);

        const fs::Path migrated = fs::Path::fromUtf8(makePlainInstall()) / kClientFolderName;
        mFs->misreportLinkCreation(mContext.clientPath, 1, made);
        EXPECT_EQ(migrateToSymlinkMode(mContext), kSymlinkMigrationLinkFailed);
        EXPECT_FALSE(linkTarget());
        EXPECT_TRUE(std::filesystem::is_regular_file(mContext.clientExePath.std()));

        std::filesystem::remove_all(mContext.clientPath.std());
        makeLinkedInstall();
        mFs->misreportLinkCreation(mContext.clientPath, 1, made);
        EXPECT_EQ(swapSymlinkFolders(mContext), kSymlinkSwapCreateLinkFailed);
        EXPECT_EQ(linkTarget(), std::optional(kVersionedTarget));  // the previous version, linked again
        EXPECT_EQ(mLogger->linesContaining("after failed swap").size(), 1u);
        mLogger->clear();

        EXPECT_EQ(
            telemetry(),
            (Records{{"UPEC-2221", "fatal",
                      "Failed to create symlink[" + mContext.clientPath.utf8() + "] to [" + migrated.utf8() +
                          "], osError[" + osError + "]"},
                     {"UPEC-2228", "fatal",
                      "Failed to create new symlink at [" + mContext.clientPath.utf8() + "] to point to [" +
                          mContext.stagedLinkTarget.utf8() + "], osError[" + osError + "]"}}));
        ASSERT_TRUE(fs::filesystem().remove(mContext.clientPath).isOk());
        std::filesystem::remove_all((mRoot / kVersionedFolder).std());
    }
}

TEST_F(SymlinkMode, SwapRepointsTheLinkAndKeepsTheVersionedFolder) {
    makeLinkedInstall();
    EXPECT_EQ(swapSymlinkFolders(mContext), kDestageSuccess);
    EXPECT_EQ(linkTarget(), std::optional(mContext.stagedLinkTarget));
    EXPECT_EQ(clientExeSize(), 3u);  // "new"
    EXPECT_TRUE(std::filesystem::is_regular_file((mRoot / kVersionedTarget / L"KorvDesktop.exe").std()));
    EXPECT_TRUE(telemetry().empty());
}

TEST_F(SymlinkMode, SwapFailuresGive34And35) {
    makeLinkedInstall();
    mFs->fail(Op::Remove, mContext.clientPath, kAccessDenied, 5);
    EXPECT_EQ(swapSymlinkFolders(mContext), kSymlinkSwapRemoveLinkFailed);
    EXPECT_EQ(linkTarget(), std::optional(kVersionedTarget));
    mLinks->failLinkCreation(kAccessDenied, 5);
    EXPECT_EQ(swapSymlinkFolders(mContext), kSymlinkSwapCreateLinkFailed);
    EXPECT_EQ(linkTarget(), std::optional(kVersionedTarget));  // the previous version, linked again
    const std::string client = mContext.clientPath.utf8();
    EXPECT_EQ(telemetry(), (Records{{"UPEC-2227", "fatal",
                                     "Failed to remove symlink at [" + client + "], osError[" + mError + "]"},
                                    {"UPEC-2228", "fatal",
                                     "Failed to create new symlink at [" + client + "] to point to [" +
                                         mContext.stagedLinkTarget.utf8() + "], osError[" + mError + "]"}}));
    EXPECT_EQ(waited(), 8000ms);
}

// A killed migration leaves the client path empty; a swap that then cannot link has nothing to
// link back and moves the staged client in as a folder, so the player is never left without one.
TEST_F(SymlinkMode, RepairSwapWhoseLinkFailsMovesTheStagedClientIn) {
    mLinks->failLinkCreation(kAccessDenied, 5);
    EXPECT_EQ(swapSymlinkFolders(mContext), kSymlinkSwapCreateLinkFailed);
    EXPECT_FALSE(linkTarget());
    EXPECT_EQ(clientExeSize(), 3u);  // "new", as a plain folder
    EXPECT_FALSE(std::filesystem::exists(mContext.stagedClientPath.std()));
    EXPECT_EQ(mLogger->linesContaining("No previous client to link back").size(), 1u);
    ASSERT_EQ(telemetry().size(), 1u);
    EXPECT_EQ(std::get<0>(telemetry()[0]), "UPEC-2228");
}

TEST_F(SymlinkMode, RevertMovesTheTargetBackAndRemovesTheVersionedFolder) {
    makeLinkedInstall();
    EXPECT_EQ(revertSymlinkMode(mContext), kDestageSuccess);
    EXPECT_FALSE(linkTarget());
    EXPECT_TRUE(std::filesystem::is_regular_file(mContext.clientExePath.std()));
    EXPECT_EQ(clientExeSize(), 6u);  // "linked"
    EXPECT_FALSE(std::filesystem::exists((mRoot / kVersionedFolder).std()));
    EXPECT_EQ(mLogger->linesContaining("Reverting existing symlink mode install").at(0).function,
              "kvx::apps::destager::internal::revertSymlinkMode");
    EXPECT_TRUE(telemetry().empty());
}

TEST_F(SymlinkMode, RevertWhoseVersionedFolderStaysStillSucceeds) {
    makeLinkedInstall();
    mFs->fail(Op::RemoveTree, mRoot / kVersionedFolder, kAccessDenied, 5);
    EXPECT_EQ(revertSymlinkMode(mContext), kDestageSuccess);
    EXPECT_EQ(telemetry(), (Records{{"UPEC-2225", "warning",
                                     "Failed to remove old versioned parent folder at [" +
                                         (mRoot / kVersionedFolder).utf8() + "], osError[" + mError + "]"}}));
    EXPECT_EQ(mFs->calls(Op::RemoveTree, mRoot / kVersionedFolder), 1);
    EXPECT_TRUE(std::filesystem::is_regular_file(mContext.clientExePath.std()));
    EXPECT_EQ(waited(), 0ms);
}

// A link can point anywhere: only a folder of the install's own may be deleted after the move back.
TEST_F(SymlinkMode, RevertDeletesNoFolderOutsideTheInstallsOwn) {
    test::TempFolder outside;
    const std::pair<const char*, fs::Path> targets[] = {
        {"directly in the install root", L"loose client"},
        {"outside the install", outside / L"v1\\Korv Desktop"},
    };
    for (const auto& [name, stored] : targets) {
        SCOPED_TRACE(name);
        mConfig.set(config::Store::Ordinary, "machine.destageErrors", "", config::kScopeMachine);
        const fs::Path resolved = stored.isAbsolute() ? stored : mRoot / stored;
        mRoot.writeFile(resolved / L"KorvDesktop.exe", "linked");
        ASSERT_TRUE(mLinks->createDirectorySymlink(stored, mContext.clientPath).isOk());

        EXPECT_EQ(revertSymlinkMode(mContext), kDestageSuccess);
        EXPECT_EQ(clientExeSize(), 6u);  // "linked", moved back into the client folder
        EXPECT_EQ(mFs->calls(Op::RemoveTree, resolved.parent()), 0);
        EXPECT_TRUE(std::filesystem::is_directory(resolved.parent().std()));
        EXPECT_EQ(telemetry(), (Records{{"UPEC-2225", "warning",
                                         "Failed to remove old versioned parent folder at [" +
                                             resolved.parent().utf8() +
                                             "], osError[refused: not a folder of its own in the install root]"}}));
        std::filesystem::remove_all(mContext.clientPath.std());
    }
}

TEST_F(SymlinkMode, RevertFailuresToResolveOrRemoveTheLinkGive31And32) {
    makeLinkedInstall();
    mFs->fail(Op::ReadSymlink, mContext.clientPath, kAccessDenied, 5);
    EXPECT_EQ(revertSymlinkMode(mContext), kSymlinkRevertResolveLinkFailed);
    mFs->fail(Op::Remove, mContext.clientPath, kAccessDenied, 5);
    EXPECT_EQ(revertSymlinkMode(mContext), kSymlinkRevertRemoveLinkFailed);
    EXPECT_EQ(linkTarget(), std::optional(kVersionedTarget));
    const std::string client = mContext.clientPath.utf8();
    EXPECT_EQ(
        telemetry(),
        (Records{
            {"UPEC-2222", "fatal", "Failed to resolve symlink[" + client + "], osError[" + mError + "]"},
            {"UPEC-2223", "fatal", "Failed to remove symlink[" + client + "], osError[" + mError + "]"}}));
    EXPECT_EQ(waited(), 8000ms);
}

TEST_F(SymlinkMode, RevertWhoseMoveFailsRelinksTheClientAndGives33) {
    makeLinkedInstall();
    const fs::Path resolved = mRoot / kVersionedTarget;
    mFs->fail(Op::Rename, resolved, kAccessDenied, 5);
    EXPECT_EQ(revertSymlinkMode(mContext), kSymlinkRevertMoveBackFailed);
    EXPECT_EQ(linkTarget(), std::optional(kVersionedTarget));
    EXPECT_EQ(mLogger->linesContaining("Attempting to re-link client folder after failed move").size(), 1u);
    EXPECT_EQ(telemetry(),
              (Records{{"UPEC-2224", "fatal",
                        "Failed to rename target folder [" + resolved.utf8() + "] back to install folder [" +
                            mContext.clientPath.utf8() + "], osError[" + mError + "], code[2]"}}));
}

TEST_F(SymlinkMode, RevertWhoseRelinkAlsoFailsReportsBoth) {
    makeLinkedInstall();
    mFs->fail(Op::Rename, mRoot / kVersionedTarget, kAccessDenied, 5);
    mLinks->failLinkCreation(kAccessDenied, 5);
    EXPECT_EQ(revertSymlinkMode(mContext), kSymlinkRevertMoveBackFailed);
    EXPECT_FALSE(linkTarget());
    const auto records = telemetry();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(std::get<0>(records[0]), "UPEC-2224");
    EXPECT_EQ(records[1], (std::tuple<std::string, std::string, std::string>{
                              "UPEC-2226", "warning",
                              "Failed to restore symlink[" + mContext.clientPath.utf8() + "] to [" +
                                  kVersionedTarget.utf8() + "], osError[" + mError + "]"}));
    EXPECT_TRUE(std::filesystem::is_regular_file((mRoot / kVersionedTarget / L"KorvDesktop.exe").std()));
    EXPECT_EQ(waited(), 8000ms);
}

}  // namespace
}  // namespace kvx::apps::destager::internal
