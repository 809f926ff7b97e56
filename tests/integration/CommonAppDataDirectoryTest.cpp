#include "integration/CommonAppDataDirectory.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <numeric>

#include "foundation/fs/IFilesystem.h"
#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "foundation/security/ProtectedDirectory.h"
#include "foundation/win/AutoHandle.h"
#include "integration/AppKey.h"
#include "support/Capture.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::apps {
namespace {

using std::chrono::milliseconds;

// ProgramData is redirected into a temporary folder; the flag lives in the prefix's real app key.
// The directory creation is the real one; only the background service stop is recorded instead.
class CommonAppDataDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        foundation::setSpecialDirectoryRedirections(
            {{foundation::SpecialDirectory::programData, mProgramData.path().utf8()}});
        clearFlags();
    }
    void TearDown() override {
        foundation::setSpecialDirectoryRedirections({});
        clearFlags();
    }
    static void clearFlags() {
        openAppKey(true, true).deleteValue("CommonAppPathCreated");
        openAppKey(true, false).deleteValue("CommonAppPathCreated");
    }
    fs::Path directory() const { return mProgramData / L"Korv Desktop"; }

    // A file the background service still holds: the directory cannot be emptied while it is open.
    WinUtils::AutoHandle holdFileInDirectory() const {
        const fs::Path file = mProgramData.writeFile(L"Korv Desktop\\Logs\\service.log", "held");
        return WinUtils::AutoHandle(
            CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    }

    CommonAppDataSteps steps(int releaseBeforeAttempt = 0) {
        return CommonAppDataSteps{
            .stopBackgroundService = [this](int64_t timeoutMs) { mServiceStops.push_back(timeoutMs); },
            .createDirectory =
                [this, releaseBeforeAttempt](const fs::Path& directory, const fs::Path& prefix) {
                    if (++mAttempts == releaseBeforeAttempt) {
                        mHeld.reset();
                    }
                    return foundation::security::createAdminOwnedDirectory(directory, prefix, true, false);
                },
        };
    }

    test::TempFolder mProgramData;
    test::ScopedCapturingLogger mLogger;
    WinUtils::AutoHandle mHeld;
    std::vector<int64_t> mServiceStops;
    int mAttempts = 0;
};

TEST_F(CommonAppDataDirectory, RetriesWhileTheOldDirectoryCannotBeEmptied) {
    struct Row {
        int releaseBeforeAttempt;  // 0: never
        bool created;
        std::vector<milliseconds> waits;
    };
    const std::vector<milliseconds> allWaits{milliseconds(1000),  milliseconds(1750),  milliseconds(3062),
                                             milliseconds(5358),  milliseconds(9376),  milliseconds(15000),
                                             milliseconds(15000), milliseconds(15000), milliseconds(15000)};
    for (const Row& row : {Row{3, true, {milliseconds(1000), milliseconds(1750)}}, Row{0, false, allWaits}}) {
        SCOPED_TRACE(row.releaseBeforeAttempt);
        test::ScopedTestClock clock;
        clearFlags();
        mLogger->clear();
        mAttempts = 0;
        mHeld = holdFileInDirectory();
        ASSERT_TRUE(mHeld.valid());
        EXPECT_EQ(createCommonAppDataDirectory(steps(row.releaseBeforeAttempt)), row.created);
        EXPECT_EQ(clock->sleeps(), row.waits);
        const size_t failures = row.created ? row.releaseBeforeAttempt - 1 : 10;
        EXPECT_EQ(mLogger->linesContaining("Failed to create common app data directory [").size(), failures);
        EXPECT_EQ(mLogger->linesContaining("; attempt " + std::to_string(failures)).size(), 1u);
        EXPECT_EQ(fs::filesystem().isDirectory(directory() / L"Logs"), !row.created) << "emptied when made";
        EXPECT_EQ(openAppKey(false, true).get<uint32_t>("CommonAppPathCreated"), row.created ? 1u : 0u);
        EXPECT_EQ(openAppKey(false, false).get<uint32_t>("CommonAppPathCreated"), row.created ? 1u : 0u);
        mHeld.reset();
    }
    EXPECT_EQ(std::accumulate(allWaits.begin(), allWaits.end(), milliseconds(0)), milliseconds(80546));
    EXPECT_EQ(mServiceStops, (std::vector<int64_t>{15000, 15000}));
}

TEST_F(CommonAppDataDirectory, FlagMakesTheSecondRunSkipTheWork) {
    ASSERT_TRUE(createCommonAppDataDirectory(steps()));
    mProgramData.writeFile(L"Korv Desktop\\machine.ini", "machine.destageResult=0");
    EXPECT_TRUE(createCommonAppDataDirectory(steps()));
    EXPECT_EQ(mAttempts, 1);
    EXPECT_EQ(mServiceStops.size(), 1u) << "the service is left running";
    EXPECT_TRUE(fs::filesystem().exists(directory() / L"machine.ini").peek());
}

}  // namespace
}  // namespace kvx::apps
