// Link handling of the retrying forms and of callers that go through the process-wide filesystem.
// Wine 8 creates no directory symbolic links (its CreateSymbolicLinkW makes nothing; see
// FilesystemTest.SystemSymlinkCallsUnderThisSystem), so the links here are recorded in memory by
// FakeSymlinkFilesystem, installed as the process-wide filesystem over the real one; the folders and
// files around them are real.
#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/fs/FileFunctions.h"
#include "foundation/fs/RetryingOperations.h"
#include "support/FakeSymlinkFilesystem.h"
#include "support/ScopedFilesystem.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::fs {
namespace {

using std::filesystem::file_type;
using Attempts = std::vector<std::pair<uint8_t, OsError>>;

class SymlinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        mTemp.writeFile(L"versions\\v2\\Korv Desktop\\KorvDesktop.exe", "exe");
        mInstall = mTemp.makeFolder(L"install");
        mLink = mInstall / Path(L"Korv Desktop");
    }
    FailedAttemptCallback record() {
        return [this](uint8_t attempt, OsError error) { mAttempts.emplace_back(attempt, error); };
    }

    test::ScopedTestClock mClock;
    test::TempFolder mTemp;
    test::ScopedFilesystem<test::FakeSymlinkFilesystem> mFs{std::make_shared<test::FakeSymlinkFilesystem>()};
    Path mInstall;
    Path mLink;
    Attempts mAttempts;
    const Path mRelativeTarget{L"..\\versions\\v2\\Korv Desktop"};
};

TEST_F(SymlinkTest, RelativeStoredTargetResolvesAgainstTheLinksParent) {
    auto schedule = foundation::folderStepSchedule();
    ASSERT_TRUE(tryCreateDirectorySymlink(mRelativeTarget, mLink, record(), schedule).isOk());
    EXPECT_EQ(filesystem().symlinkStatus(mLink).unwrap().type(), file_type::symlink);
    EXPECT_TRUE(filesystem().isDirectory(mLink));

    auto info = tryResolveSymlinkTarget(mLink, record(), schedule).unwrap();
    EXPECT_EQ(info.storedTarget, mRelativeTarget);
    EXPECT_EQ(info.resolvedTarget, mInstall / mRelativeTarget);
    EXPECT_TRUE(
        filesystem().equivalent(info.resolvedTarget, mTemp / Path(L"versions\\v2\\Korv Desktop")).unwrap());
    // Reads through the link reach the target's files.
    EXPECT_EQ(foundation::file::readFile(mLink / Path(L"KorvDesktop.exe"), 100).unwrap().size(), 3u);
    EXPECT_TRUE(mAttempts.empty());
}

TEST_F(SymlinkTest, RemovingTheLinkLeavesTheTarget) {
    auto schedule = foundation::folderStepSchedule();
    ASSERT_TRUE(filesystem().createDirectorySymlink(mRelativeTarget, mLink).isOk());
    EXPECT_TRUE(tryRemoveFile(mLink, record(), schedule).unwrap());
    EXPECT_EQ(filesystem().symlinkStatus(mLink).unwrap().type(), file_type::not_found);
    EXPECT_TRUE(filesystem().exists(mTemp / Path(L"versions\\v2\\Korv Desktop\\KorvDesktop.exe")).unwrap());

    // A link inside a tree removed recursively goes with the tree; its target stays.
    ASSERT_TRUE(filesystem().createDirectorySymlink(mRelativeTarget, mLink).isOk());
    EXPECT_TRUE(filesystem().removeDirectory(mInstall, true).unwrap());
    EXPECT_EQ(mFs->linkCount(), 0u);
    EXPECT_TRUE(filesystem().exists(mTemp / Path(L"versions\\v2\\Korv Desktop\\KorvDesktop.exe")).unwrap());
}

TEST_F(SymlinkTest, ResolvingAPlainFolderFailsOnEveryAttempt) {
    auto schedule = foundation::folderStepSchedule();
    auto resolved = tryResolveSymlinkTarget(mInstall, record(), schedule);
    ASSERT_TRUE(resolved.isError());
    ASSERT_EQ(mAttempts.size(), 5u);
    for (uint8_t i = 0; i < 5; ++i) {
        EXPECT_EQ(mAttempts[i],
                  (std::pair<uint8_t, OsError>{static_cast<uint8_t>(i + 1), resolved.peekError()}));
    }
    EXPECT_EQ(mClock->sleeps().size(), 4u);
}

TEST_F(SymlinkTest, CreationRetriesAfterFailuresAndRefusesAnOccupiedPath) {
    auto schedule = foundation::folderStepSchedule();
    mFs->failLinkCreation(ERROR_PRIVILEGE_NOT_HELD, 2);
    ASSERT_TRUE(tryCreateDirectorySymlink(mRelativeTarget, mLink, record(), schedule).isOk());
    EXPECT_EQ(mAttempts, (Attempts{{1, ERROR_PRIVILEGE_NOT_HELD}, {2, ERROR_PRIVILEGE_NOT_HELD}}));
    EXPECT_EQ(mFs->linkCreationAttempts(), 3);

    auto again = filesystem().createDirectorySymlink(mRelativeTarget, mLink);
    EXPECT_EQ(again.peekError(), static_cast<OsError>(ERROR_ALREADY_EXISTS));
    auto noParent = filesystem().createDirectorySymlink(mRelativeTarget, mTemp / Path(L"none\\link"));
    EXPECT_EQ(noParent.unwrapError(), static_cast<OsError>(ERROR_PATH_NOT_FOUND));
}

TEST_F(SymlinkTest, RenamingMovesTheLinkNotTheTarget) {
    ASSERT_TRUE(filesystem().createDirectorySymlink(Path(L"..\\versions\\v2"), mInstall / Path(L"v")).isOk());
    const Path moved = mInstall / Path(L"w");
    ASSERT_TRUE(filesystem().rename(mInstall / Path(L"v"), moved).isOk());
    EXPECT_TRUE(mFs->isRecordedLink(moved));
    EXPECT_FALSE(mFs->isRecordedLink(mInstall / Path(L"v")));
    EXPECT_TRUE(filesystem().isDirectory(mTemp / Path(L"versions\\v2\\Korv Desktop")));

    int links = 0;
    auto walked = filesystem().iterateRecursive(
        mInstall, [&](const Path&, const file_status& status) -> IterationResult {
            links += status.type() == file_type::symlink ? 1 : 0;
            return ItrCtrl::Continue;
        });
    ASSERT_TRUE(walked.isOk());
    EXPECT_EQ(links, 1);
}

}  // namespace
}  // namespace kvx::fs
