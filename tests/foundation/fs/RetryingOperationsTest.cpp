// Attempts and waits in virtual time; Wine 8 makes no directory links, so links are recorded in memory.
#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/fs/RetryingOperations.h"
#include "support/FakeSymlinkFilesystem.h"
#include "support/ScopedFilesystem.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::fs {
namespace {

using namespace std::chrono_literals;
using Attempts = std::vector<std::pair<uint8_t, OsError>>;
using Sleeps = std::vector<std::chrono::milliseconds>;

class RetryingOperationsTest : public ::testing::Test {
protected:
    FailedAttemptCallback record() {
        return [this](uint8_t attempt, OsError error) { mAttempts.emplace_back(attempt, error); };
    }

    test::ScopedTestClock mClock;
    test::TempFolder mTemp;
    std::shared_ptr<test::FakeSymlinkFilesystem> mLinks = std::make_shared<test::FakeSymlinkFilesystem>();
    test::ScopedFilesystem<test::FakeSymlinkFilesystem> mFs{mLinks};
    foundation::FixedLengthWait mSchedule = foundation::folderStepSchedule();
    Attempts mAttempts;
};

// A plain folder is no link: resolving it fails like the rename onto an occupied folder.
TEST_F(RetryingOperationsTest, PersistentFailureReportsEveryAttemptAndWaitsBetweenThem) {
    auto renamed = tryRename(mTemp.makeFolder(L"client"), mTemp.makeFolder(L"occupied"), record(), mSchedule);
    EXPECT_EQ(renamed.peekError(), OsError{ERROR_ACCESS_DENIED});
    auto schedule = foundation::folderStepSchedule();
    const OsError error = tryResolveSymlinkTarget(mTemp.path(), record(), schedule).peekError();
    Attempts expected;  // five attempts of each, numbered from 1
    for (const OsError failure : {OsError{ERROR_ACCESS_DENIED}, error}) {
        for (uint8_t attempt = 1; attempt <= 5; ++attempt) {
            expected.emplace_back(attempt, failure);
        }
    }
    EXPECT_EQ(mAttempts, expected);
    EXPECT_EQ(mClock->sleeps(), Sleeps(8, 1000ms));
}

TEST_F(RetryingOperationsTest, LinkCreationRetriesAndTheRelativeTargetResolvesAgainstTheLinksParent) {
    const Path install = mTemp.makeFolder(L"install");
    const Path link = install / Path(L"Korv Desktop");
    const Path target(L"..\\versions\\v2\\Korv Desktop");
    mLinks->failLinkCreation(ERROR_PRIVILEGE_NOT_HELD, 2);
    foundation::ExponentialBackoff backoff(5, 100, 2.0f, 1000);
    ASSERT_TRUE(tryCreateDirectorySymlink(target, link, record(), backoff).isOk());
    EXPECT_EQ(mAttempts, (Attempts{{1, ERROR_PRIVILEGE_NOT_HELD}, {2, ERROR_PRIVILEGE_NOT_HELD}}));
    EXPECT_EQ(mClock->sleeps(), (Sleeps{100ms, 200ms})) << "success ends the retries";
    EXPECT_EQ(mLinks->linkCreationAttempts(), 3);

    auto info = tryResolveSymlinkTarget(link, record(), mSchedule).unwrap();
    EXPECT_EQ(info.storedTarget, target);
    EXPECT_EQ(info.resolvedTarget, install / target);
}

}  // namespace
}  // namespace kvx::fs
