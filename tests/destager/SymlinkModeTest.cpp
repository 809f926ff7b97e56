// Symlink mode on real folders. Wine creates no directory links (CreateSymbolicLinkW reports success
// and makes nothing), so links live in FakeSymlinkFilesystem; faults are injected in front of it and
// waits run on the test clock.
#include "destager/SymlinkMode.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "destager/ClientFileVersion.h"
#include "destager/StepTestSupport.h"
#include "foundation/update/ResultCodes.h"
#include "support/FakeSymlinkFilesystem.h"
#include "support/ScopedFilesystem.h"

namespace kvx::apps::destager::internal {
namespace {

using namespace std::chrono_literals;
using Op = test::FaultyFilesystem::Op;
using test::Texts;
namespace stdfs = std::filesystem;

const fs::Path kVersionedFolder = L"1.2.3.4-1700000000";
const fs::Path kVersionedTarget = kVersionedFolder / kClientFolderName;
constexpr int64_t kNow = 1'767'225'600'900'000'000;  // 2026-01-01T00:00:00.9Z

class SymlinkMode : public test::StepFixture {
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

    std::shared_ptr<test::FakeSymlinkFilesystem> mLinks = std::make_shared<test::FakeSymlinkFilesystem>();
    test::ScopedFilesystem<test::FaultyFilesystem> mFs{std::make_shared<test::FaultyFilesystem>(mLinks)};
};

// A failed move changes nothing; a failed link moves the client back and removes the empty folder.
// The successful paths are the orchestration tests' business.
TEST_F(SymlinkMode, MigrationWhoseMoveOrLinkFailsKeepsThePlainClient) {
    const std::string versioned = makePlainInstall();
    mFs->fail(Op::Rename, mContext.clientPath);
    EXPECT_EQ(migrateToSymlinkMode(mContext), kSymlinkMigrationMoveFailed);
    mClock->setWallClock(kNow);  // the same versioned folder's name
    mLinks->failLinkCreation(test::kAccessDenied, 5);
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
    mLinks->failLinkCreation(test::kAccessDenied, 5);
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
}

// A killed migration leaves the client path empty; a swap that then cannot link has nothing to
// link back and moves the staged client in as a folder, so the player is never left without one.
TEST_F(SymlinkMode, RepairSwapWhoseLinkFailsMovesTheStagedClientIn) {
    mLinks->failLinkCreation(test::kAccessDenied, 5);
    EXPECT_EQ(swapSymlinkFolders(mContext), kSymlinkSwapCreateLinkFailed);
    EXPECT_EQ(client(), "plain");
    EXPECT_FALSE(stdfs::exists(mContext.stagedClientPath.std()));
    EXPECT_EQ(mLogger->linesContaining("No previous client to link back").size(), 1u);
}

TEST_F(SymlinkMode, RevertWhoseVersionedFolderStaysStillSucceeds) {
    makeLinkedInstall();
    mFs->fail(Op::RemoveTree, mRoot / kVersionedFolder);
    EXPECT_EQ(revertSymlinkMode(mContext), kDestageSuccess);
    EXPECT_EQ(telemetry(), Texts{"UPEC-2225 warning: Failed to remove old versioned parent folder at "
                                 "[<root>\\1.2.3.4-1700000000], osError[<denied>]"});
    EXPECT_EQ(mLogger->linesContaining("Reverting existing symlink mode install").at(0).function,
              "kvx::apps::destager::internal::revertSymlinkMode");
    EXPECT_EQ(client(), "plain");
    EXPECT_EQ(waited(), 0ms);  // one attempt is enough for a leftover
}

// A link can point anywhere: only a folder of the install's own may be deleted after the move back.
TEST_F(SymlinkMode, RevertDeletesNoFolderOutsideTheInstallsOwn) {
    test::TempFolder outside;
    Texts expected;
    for (const fs::Path& stored : {fs::Path(L"loose client"), outside / L"v1\\Korv Desktop"}) {
        const fs::Path resolved = stored.isAbsolute() ? stored : mRoot / stored;
        mRoot.writeFile(resolved / L"KorvDesktop.exe", "linked");
        ASSERT_TRUE(mLinks->createDirectorySymlink(stored, mContext.clientPath).isOk());
        EXPECT_EQ(revertSymlinkMode(mContext), kDestageSuccess);
        EXPECT_EQ(client(), "plain");
        EXPECT_TRUE(stdfs::is_directory(resolved.parent().std())) << stored.utf8();
        expected.push_back(shortened("UPEC-2225 warning: Failed to remove old versioned parent folder at [" +
                                     resolved.parent().utf8() +
                                     "], osError[refused: not a folder of its own in the install root]"));
        EXPECT_EQ(telemetry(), expected);
        stdfs::remove_all(mContext.clientPath.std());
    }
}

// The link cannot be resolved or removed, or the target cannot move back: the client is linked
// again, and when that fails too, both are reported.
TEST_F(SymlinkMode, RevertFailuresGive31To33AndKeepTheLinkIfTheyCan) {
    makeLinkedInstall();
    mFs->fail(Op::ReadSymlink, mContext.clientPath);
    EXPECT_EQ(revertSymlinkMode(mContext), kSymlinkRevertResolveLinkFailed);
    mFs->fail(Op::Remove, mContext.clientPath);
    EXPECT_EQ(revertSymlinkMode(mContext), kSymlinkRevertRemoveLinkFailed);
    mFs->fail(Op::Rename, mRoot / kVersionedTarget, test::kAccessDenied, 10);
    EXPECT_EQ(revertSymlinkMode(mContext), kSymlinkRevertMoveBackFailed);
    EXPECT_EQ(client(), kVersionedTarget.utf8());
    EXPECT_EQ(mLogger->linesContaining("Attempting to re-link client folder after failed move").size(), 1u);
    mLinks->failLinkCreation(test::kAccessDenied, 5);
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
