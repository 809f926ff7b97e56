// Retrying forms: attempts, callbacks and waits, with virtual time (no real sleeping).
#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/fs/RetryingOperations.h"
#include "support/ForwardingFilesystem.h"
#include "support/ScopedFilesystem.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::fs {
namespace {

using namespace std::chrono_literals;
using Attempts = std::vector<std::pair<uint8_t, OsError>>;

// Renames and removals fail a given number of times with a sharing violation, then go through.
class FlakyFilesystem final : public test::ForwardingFilesystem {
public:
    explicit FlakyFilesystem(int failures) : mFailuresLeft(failures) {}
    Result<void, OsError> rename(const Path& from, const Path& to) override {
        if (mFailuresLeft-- > 0) {
            return Err(static_cast<OsError>(ERROR_SHARING_VIOLATION));
        }
        return inner().rename(from, to);
    }
    Result<bool, OsError> removeDirectory(const Path& path, bool recursive) override {
        if (mFailuresLeft-- > 0) {
            return Err(static_cast<OsError>(ERROR_SHARING_VIOLATION));
        }
        return inner().removeDirectory(path, recursive);
    }

private:
    int mFailuresLeft;
};

class RetryingOperationsTest : public ::testing::Test {
protected:
    FailedAttemptCallback record() {
        return [this](uint8_t attempt, OsError error) { mAttempts.emplace_back(attempt, error); };
    }

    test::ScopedTestClock mClock;
    test::TempFolder mTemp;
    Attempts mAttempts;
};

TEST_F(RetryingOperationsTest, PersistentFailureReportsEveryAttemptAndWaitsBetweenThem) {
    const Path from = mTemp.makeFolder(L"client");
    const Path onto = mTemp.makeFolder(L"occupied");
    auto schedule = foundation::folderStepSchedule();
    auto result = tryRename(from, onto, record(), schedule);
    EXPECT_EQ(result.peekError(), static_cast<OsError>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(mAttempts, (Attempts{{1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}}));
    EXPECT_EQ(mClock->sleeps(), (std::vector<std::chrono::milliseconds>{1000ms, 1000ms, 1000ms, 1000ms}));
}

TEST_F(RetryingOperationsTest, SuccessAfterFailuresStopsRetrying) {
    mTemp.writeFile(L"from\\f.txt", "x");
    test::ScopedFilesystem flaky(std::make_shared<FlakyFilesystem>(2));
    foundation::ExponentialBackoff schedule(5, 100, 2.0f, 1000);
    ASSERT_TRUE(tryRename(mTemp / Path(L"from"), mTemp / Path(L"to"), record(), schedule).isOk());
    EXPECT_EQ(mAttempts, (Attempts{{1, 32}, {2, 32}}));
    EXPECT_EQ(mClock->sleeps(), (std::vector<std::chrono::milliseconds>{100ms, 200ms}));
    EXPECT_TRUE(filesystem().exists(mTemp / Path(L"to\\f.txt")).unwrap());
}

TEST_F(RetryingOperationsTest, RemoveDirectoryRetriesThenRemovesTheTree) {
    mTemp.writeFile(L"old\\sub\\f.txt", "x");
    test::ScopedFilesystem flaky(std::make_shared<FlakyFilesystem>(4));
    auto schedule = foundation::folderStepSchedule();
    auto removed = tryRemoveDirectory(mTemp / Path(L"old"), true, record(), schedule);
    EXPECT_TRUE(removed.unwrap());
    EXPECT_EQ(mAttempts.size(), 4u);
    EXPECT_EQ(mAttempts.back(), (std::pair<uint8_t, OsError>{4, 32}));
    EXPECT_FALSE(filesystem().exists(mTemp / Path(L"old")).unwrap());
}

TEST_F(RetryingOperationsTest, FirstTimeSuccessesNeitherCallBackNorWait) {
    auto schedule = foundation::folderStepSchedule();
    EXPECT_TRUE(tryCreateDirectories(mTemp / Path(L"a\\b"), record(), schedule).unwrap());
    EXPECT_FALSE(tryCreateDirectories(mTemp / Path(L"a\\b"), record(), schedule).unwrap());
    EXPECT_FALSE(tryRemoveFile(mTemp / Path(L"missing"), record(), schedule).unwrap());
    EXPECT_TRUE(tryRemoveFile(mTemp / Path(L"a\\b"), record(), schedule).unwrap());
    EXPECT_TRUE(mAttempts.empty());
    EXPECT_TRUE(mClock->sleeps().empty());
}

TEST_F(RetryingOperationsTest, ANullCallbackIsAllowed) {
    foundation::FixedLengthWait schedule(2, 10ms);
    EXPECT_TRUE(tryRemoveFile(mTemp / Path(L"a\\b"), nullptr, schedule).isOk());
    EXPECT_TRUE(tryRename(mTemp / Path(L"x"), mTemp / Path(L"y"), nullptr, schedule).isError());
    EXPECT_EQ(mClock->sleeps(), (std::vector<std::chrono::milliseconds>{10ms}));
}

}  // namespace
}  // namespace kvx::fs
