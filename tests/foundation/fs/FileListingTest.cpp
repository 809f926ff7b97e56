// Pattern listings over a real folder tree.
#include <gtest/gtest.h>

#include "foundation/fs/FileListing.h"
#include "support/TempFolder.h"

namespace kvx::fs {
namespace {

using Set = std::unordered_set<std::string>;

class FileListingTest : public ::testing::Test {
protected:
    void SetUp() override {
        mTemp.writeFile(L"app\\a.dll", "1");
        mTemp.writeFile(L"app\\b.dll", "1");
        mTemp.writeFile(L"app\\a.exe", "1");
        mTemp.writeFile(L"app\\notes.txt", "1");
        mTemp.writeFile(L"app\\plugins.dll\\p.dll", "1");  // a folder whose name matches "*.dll"
        mTemp.writeFile(L"app\\sub\\deep\\d.dll", "1");
        mTemp.writeFile(L"other\\o.dll", "1");
        mRoot = mTemp.path().utf8() + "\\";
    }

    std::string at(const std::string& relative) const { return mRoot + relative; }

    test::TempFolder mTemp;
    std::string mRoot;
};

TEST_F(FileListingTest, OverlappingPatternsListEachFileOnceAndNoFolders) {
    // Forward slashes and a missing trailing separator are normalised away.
    const std::string folder = mTemp.path().utf8() + "/app/./";
    const Set hits = filesMatchingPatterns({folder}, {"*.dll", "a*"}, false);
    EXPECT_EQ(hits, (Set{at("app\\a.dll"), at("app\\b.dll"), at("app\\a.exe")}));
}

TEST_F(FileListingTest, RecursiveListingWalksEverySubfolder) {
    const Set hits = filesMatchingPatterns({at("app")}, {"*.dll"}, true);
    EXPECT_EQ(hits, (Set{at("app\\a.dll"), at("app\\b.dll"), at("app\\plugins.dll\\p.dll"),
                         at("app\\sub\\deep\\d.dll")}));
}

TEST_F(FileListingTest, SeveralFoldersAndUnlistableOnes) {
    const Set hits = filesMatchingPatterns({at("app"), at("missing"), at("other")}, {"?.dll"}, false);
    EXPECT_EQ(hits, (Set{at("app\\a.dll"), at("app\\b.dll"), at("other\\o.dll")}));
    EXPECT_TRUE(filesMatchingPatterns({at("missing")}, {"*"}, true).empty());
    EXPECT_TRUE(filesMatchingPatterns({at("app")}, {}, true).empty());
}

}  // namespace
}  // namespace kvx::fs
