// The special-path service under Wine: real known folders, folder creation in a temporary folder,
// and redirections registered from the configuration.
#include "foundation/paths/TamrinUtils.h"

#include <shlobj.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/Singleton.h"
#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "foundation/win/SystemMemory.h"
#include "framework/config/ConfigSystem.h"
#include "framework/settings/SpecialDirectoryConfig.h"
#include "support/Capture.h"
#include "support/TempFolder.h"

namespace kvx::foundation {
namespace {

using config::ConfigSystem;
using utils::Singleton;

class SpecialPathTest : public ::testing::Test {
protected:
    void SetUp() override { Singleton<ConfigSystem>::create(); }
    void TearDown() override {
        Singleton<ConfigSystem>::destroy();
        setSpecialDirectoryRedirections({});
    }
    void redirect(const std::string& name, const std::string& path) {
        config::configSystem().set(config::Store::Ordinary, "qa.specialDirectory." + name, path,
                                   config::kScopeStatic);
    }

    test::TempFolder mTemp;
    const std::filesystem::path mRoot = mTemp.path().std();
    test::ScopedCapturingLogger mLog;
};

TEST_F(SpecialPathTest, KnownFoldersWithoutRedirection) {
    PWSTR programData = nullptr;
    ASSERT_EQ(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &programData), S_OK);
    const WinUtils::UniqueCoTaskMemory<PWSTR> owned(programData);
    const std::string expected = std::filesystem::path(programData).string() + "\\Korv Desktop\\machine.ini";
    EXPECT_EQ(tamrinUtils().getMachineSettingsPath(), expected);
    // A legacy folder query resolves too.
    const std::string common =
        tamrinUtils().getSpecialPathVerbose(SpecialDirectory::commonApplicationData, "", "", false, nullptr);
    ASSERT_FALSE(common.empty());
    EXPECT_EQ(common.back(), '\\');
    EXPECT_TRUE(mLog->lines().empty());
}

// A redirection ending in a backslash gets no second one; relative folders keep their separators.
TEST_F(SpecialPathTest, RedirectedFoldersJoinPartsAndCreateFolders) {
    redirect("programData", mRoot.string() + "\\");
    redirect("localAppData", mRoot.string());
    registerSpecialDirectoryRedirections();
    EXPECT_EQ(tamrinUtils().getMachineSettingsPath(), mRoot.string() + "\\Korv Desktop\\machine.ini");
    EXPECT_EQ(
        tamrinUtils().getSpecialPathVerbose(SpecialDirectory::localAppData, "a/", "f.txt", false, nullptr),
        mRoot.string() + "\\a/f.txt");
    EXPECT_EQ(
        tamrinUtils().getSpecialPathVerbose(SpecialDirectory::localAppData, "", "f.txt", false, nullptr),
        mRoot.string() + "\\f.txt");
    EXPECT_FALSE(std::filesystem::exists(mRoot / "x"));

    const fs::Path created =
        tamrinPathConstructorHelper(SpecialDirectory::localAppData, "x\\y", "z.ini", true);
    EXPECT_EQ(created.utf8(), mRoot.string() + "\\x\\y\\z.ini");
    EXPECT_TRUE(std::filesystem::is_directory(mRoot / "x" / "y"));
    EXPECT_TRUE(mLog->lines().empty());
}

TEST_F(SpecialPathTest, FolderCreationFailureIsLoggedAndThePathStillReturned) {
    std::ofstream(mRoot / "file").put('x');
    redirect("localAppData", (mRoot / "file").string());
    registerSpecialDirectoryRedirections();
    EXPECT_EQ(tamrinUtils().getSpecialPathVerbose(SpecialDirectory::localAppData, "sub", "f", true, nullptr),
              (mRoot / "file").string() + "\\sub\\f");
    const auto lines = mLog->linesContaining("create folder error: type=[24] code=[");
    EXPECT_EQ(lines.size(), 1u);
}

TEST_F(SpecialPathTest, UnresolvableDirectoryIsLoggedAndEmpty) {
    EXPECT_EQ(tamrinUtils().getSpecialPathVerbose(SpecialDirectory::devScratch, "a", "b", false, nullptr),
              "");
    const auto lines = mLog->lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].message, "There was a problem getting the directory location for specialDirectory=12");
    EXPECT_EQ(lines[1].level, services::logging::Error);
    EXPECT_EQ(lines[1].function, "kvx::foundation::TamrinUtilsImpl::getSpecialPathVerbose");
    EXPECT_EQ(lines[1].message.rfind("Failed to get path, error[", 0), 0u);

    mLog->clear();
    EXPECT_TRUE(tamrinPathConstructorHelper(SpecialDirectory::none, "a", "b", false).empty());
    ASSERT_FALSE(mLog->linesContaining("path construction failed: ").empty());
    EXPECT_EQ(mLog->linesContaining("path construction failed: ")[0].level, services::logging::Warn);
}

}  // namespace
}  // namespace kvx::foundation
