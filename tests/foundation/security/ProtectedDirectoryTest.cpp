// Wine makes no directory links (a planted redirect is a recorded one) and keeps no owners or access
// lists, so a taken-over directory is known by its code.
#include "foundation/security/ProtectedDirectory.h"

#include <gtest/gtest.h>

#include <memory>

#include "foundation/fs/IFilesystem.h"
#include "support/Capture.h"
#include "support/FakeSymlinkFilesystem.h"
#include "support/ScopedFilesystem.h"
#include "support/TempFolder.h"

namespace kvx::foundation::security {
namespace {

class ProtectedDirectory : public ::testing::Test {
protected:
    test::TempFolder mRoot;
    test::ScopedCapturingLogger mLogger;
};

// Emptying when made is checked with the common app data directory.
TEST_F(ProtectedDirectory, CreatedOrTakenOverWithItsFiles) {
    const fs::Path directory = mRoot / L"Korv Desktop";
    EXPECT_EQ(createAdminOwnedDirectory(directory, mRoot.path(), true, true), kDirectoryCreated);
    mRoot.writeFile(L"Korv Desktop\\Logs\\old.log", "user data");
    EXPECT_EQ(createAdminOwnedDirectory(directory, mRoot.path(), false, true), kDirectoryReowned);
    EXPECT_TRUE(fs::filesystem().isDirectory(directory / L"Logs"));
    EXPECT_EQ(mLogger->linesContaining("Taking ownership of [").size(), 1u);
}

TEST_F(ProtectedDirectory, RefusesPathsOutsideThePrefixTheWindowsFolderAndRedirects) {
    test::ScopedFilesystem links(std::make_shared<test::FakeSymlinkFilesystem>());
    const fs::Path elsewhere = mRoot.makeFolder(L"elsewhere");
    const fs::Path prefix = mRoot.makeFolder(L"prefix");
    ASSERT_TRUE(links->createDirectorySymlink(elsewhere, prefix / L"linked").isOk());
    ASSERT_TRUE(links->createDirectorySymlink(elsewhere, prefix / L"Korv Desktop").isOk());
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    CharUpperW(windows);  // refused whatever the case
    struct Row {
        fs::Path path;
        const char* line;
        bool createdThere;  // a directory made before the final check is left in place
    };
    for (const Row& row : {
             Row{fs::Path(windows) / L"KorvTest", "Cannot modify items within the Windows system folder",
                 false},
             Row{mRoot / L"outside", "does not begin with required prefix", false},
             Row{prefix / L"linked\\Korv Desktop", "has been redirected", false},
             Row{prefix / L"Korv Desktop", "is redirected", true},
         }) {
        SCOPED_TRACE(row.path.utf8());
        mLogger->clear();
        EXPECT_EQ(createAdminOwnedDirectory(row.path, prefix, true, false), kDirectoryFailed);
        EXPECT_EQ(mLogger->linesContaining(row.line).size(), 1u);
        EXPECT_EQ(GetFileAttributesW(row.path.c_str()) != INVALID_FILE_ATTRIBUTES, row.createdThere);
        EXPECT_TRUE(fs::filesystem().isEmpty(elsewhere).peek()) << "nothing written through the redirect";
    }
}

// The directory's own access list parses in every successful creation above.
TEST_F(ProtectedDirectory, SddlWithoutUsableAccessListIsAnError) {
    for (const auto& [sddl, line] :
         {std::pair{"D:(not an ace)", "Failed to convert SDDL[D:(not an ace)] to security descriptor: "},
          std::pair{"D:P", "NULL or empty DACL specified [D:P]"}}) {
        mLogger->clear();
        ParsedDacl parsed;
        EXPECT_NE(parseSddlDacl(sddl, parsed), static_cast<uint32_t>(ERROR_SUCCESS));
        EXPECT_EQ(mLogger->lines().size(), 1u);
        EXPECT_EQ(mLogger->linesContaining(line).size(), 1u) << sddl;
    }
}

}  // namespace
}  // namespace kvx::foundation::security
