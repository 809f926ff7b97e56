// The retrying link operations, and the link behaviour of FakeSymlinkFilesystem that the
// symlink-mode tests rely on. Wine 8 creates no directory symbolic links (see
// FilesystemTest.SystemSymlinkCallsUnderThisSystem), so links are recorded in memory over real folders.
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
    void SetUp() override { mTemp.writeFile(L"versions\\v2\\Korv Desktop\\KorvDesktop.exe", "exe"); }
    FailedAttemptCallback record() {
        return [this](uint8_t attempt, OsError error) { mAttempts.emplace_back(attempt, error); };
    }

    test::ScopedTestClock mClock;
    test::TempFolder mTemp;
    test::ScopedFilesystem<test::FakeSymlinkFilesystem> mFs{std::make_shared<test::FakeSymlinkFilesystem>()};
    const Path mInstall = mTemp.makeFolder(L"install");
    const Path mLink = mInstall / Path(L"Korv Desktop");
    const Path mTarget{L"..\\versions\\v2\\Korv Desktop"};
    foundation::FixedLengthWait mSchedule = foundation::folderStepSchedule();
    Attempts mAttempts;
};

TEST_F(SymlinkTest, RelativeTargetResolvesAgainstTheLinksParentAndRemovalLeavesIt) {
    ASSERT_TRUE(tryCreateDirectorySymlink(mTarget, mLink, record(), mSchedule).isOk());
    EXPECT_EQ(filesystem().symlinkStatus(mLink).unwrap().type(), file_type::symlink);
    EXPECT_TRUE(filesystem().isDirectory(mLink));
    auto info = tryResolveSymlinkTarget(mLink, record(), mSchedule).unwrap();
    EXPECT_EQ(info.storedTarget, mTarget);
    EXPECT_EQ(info.resolvedTarget, mInstall / mTarget);
    EXPECT_EQ(foundation::file::readFile(mLink / Path(L"KorvDesktop.exe"), 100).unwrap().size(), 3u);

    EXPECT_TRUE(tryRemoveFile(mLink, record(), mSchedule).unwrap());
    EXPECT_EQ(filesystem().symlinkStatus(mLink).unwrap().type(), file_type::not_found);
    EXPECT_TRUE(filesystem().exists(mTemp / Path(L"versions\\v2\\Korv Desktop\\KorvDesktop.exe")).unwrap());
    EXPECT_TRUE(mAttempts.empty());
}

TEST_F(SymlinkTest, ResolvingAPlainFolderFailsOnEveryAttempt) {
    auto resolved = tryResolveSymlinkTarget(mInstall, record(), mSchedule);
    ASSERT_TRUE(resolved.isError());
    const OsError error = resolved.peekError();
    EXPECT_EQ(mAttempts, (Attempts{{1, error}, {2, error}, {3, error}, {4, error}, {5, error}}));
    EXPECT_EQ(mClock->sleeps().size(), 4u);
}

TEST_F(SymlinkTest, CreationRetriesAfterFailuresAndRefusesAnOccupiedPath) {
    mFs->failLinkCreation(ERROR_PRIVILEGE_NOT_HELD, 2);
    ASSERT_TRUE(tryCreateDirectorySymlink(mTarget, mLink, record(), mSchedule).isOk());
    EXPECT_EQ(mAttempts, (Attempts{{1, ERROR_PRIVILEGE_NOT_HELD}, {2, ERROR_PRIVILEGE_NOT_HELD}}));
    EXPECT_EQ(mFs->linkCreationAttempts(), 3);
    EXPECT_EQ(filesystem().createDirectorySymlink(mTarget, mLink).peekError(), OsError{ERROR_ALREADY_EXISTS});
    EXPECT_EQ(filesystem().createDirectorySymlink(mTarget, mTemp / Path(L"none\\link")).peekError(),
              OsError{ERROR_PATH_NOT_FOUND});
}

TEST_F(SymlinkTest, RenamingMovesTheLinkWhichIsListedInItsFolder) {
    ASSERT_TRUE(filesystem().createDirectorySymlink(mTarget, mInstall / Path(L"v")).isOk());
    ASSERT_TRUE(filesystem().rename(mInstall / Path(L"v"), mLink).isOk());
    EXPECT_EQ(mFs->link(mLink)->storedTarget, mTarget);
    EXPECT_FALSE(mFs->link(mInstall / Path(L"v")).has_value());
    EXPECT_TRUE(filesystem().isDirectory(mTemp / Path(L"versions\\v2\\Korv Desktop")));

    std::vector<std::pair<Path, file_type>> listed;
    ASSERT_TRUE(filesystem()
                    .iterate(mInstall,
                             [&](const Path& entry, const file_status& status) -> IterationResult {
                                 listed.emplace_back(entry, status.type());
                                 return ItrCtrl::Continue;
                             })
                    .isOk());
    EXPECT_EQ(listed, (std::vector<std::pair<Path, file_type>>{{mLink, file_type::symlink}}));
}

}  // namespace
}  // namespace kvx::fs
