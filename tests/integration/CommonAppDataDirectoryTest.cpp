#include "integration/CommonAppDataDirectory.h"

#include <gtest/gtest.h>

#include "foundation/fs/IFilesystem.h"
#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "integration/AppKey.h"
#include "support/Capture.h"
#include "support/TempFolder.h"

namespace kvx::apps {
namespace {

// ProgramData is redirected into a temporary folder; the flag lives in the prefix's real app key.
class CommonAppDataDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        foundation::setSpecialDirectoryRedirections(
            {{foundation::SpecialDirectory::programData, mProgramData.path().utf8()}});
        openAppKey(true, true).deleteValue("CommonAppPathCreated");
    }
    void TearDown() override {
        foundation::setSpecialDirectoryRedirections({});
        openAppKey(true, true).deleteValue("CommonAppPathCreated");
    }
    fs::Path directory() const { return mProgramData / L"Korv Desktop"; }

    test::TempFolder mProgramData;
    test::ScopedCapturingLogger mLogger;
};

TEST_F(CommonAppDataDirectory, PlainFolderLetsTheRunGoOnWithoutClaimingProtection) {
    EXPECT_TRUE(createCommonAppDataDirectory());
    EXPECT_TRUE(fs::filesystem().isDirectory(directory()));
    EXPECT_FALSE(openAppKey(false, true).valueExists("CommonAppPathCreated"));
    EXPECT_EQ(mLogger->linesContaining("Admin-owned directory creation is not available yet").size(), 1u);
}

TEST_F(CommonAppDataDirectory, FlagSetMeansNothingToDo) {
    ASSERT_TRUE(openAppKey(true, true).set("CommonAppPathCreated", uint32_t{1}));
    EXPECT_TRUE(createCommonAppDataDirectory());
    EXPECT_FALSE(fs::filesystem().isDirectory(directory()));
}

TEST_F(CommonAppDataDirectory, FolderThatCannotBeMadeIsFailure) {
    // A file where the folder's parent should be.
    foundation::setSpecialDirectoryRedirections(
        {{foundation::SpecialDirectory::programData, mProgramData.writeFile(L"occupied", "x").utf8()}});
    EXPECT_FALSE(createCommonAppDataDirectory());
}

}  // namespace
}  // namespace kvx::apps
