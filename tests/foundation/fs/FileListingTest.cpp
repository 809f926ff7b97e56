// Pattern listings over a real folder, as the locked-module check lists a folder's modules.
#include <gtest/gtest.h>

#include "foundation/fs/FileListing.h"
#include "support/TempFolder.h"

namespace kvx::fs {
namespace {

TEST(FileListing, ListsEachMatchingFileOnceAndNoFolders) {
    test::TempFolder temp;
    for (const wchar_t* file : {L"app\\a.dll", L"app\\b.dll", L"app\\a.exe", L"app\\notes.txt",
                                L"app\\plugins.dll\\p.dll"}) {  // a folder whose name matches "*.dll"
        temp.writeFile(file, "1");
    }
    const std::string app = temp.path().utf8() + "\\app\\";
    // Forward slashes and a missing trailing separator are normalised away.
    EXPECT_EQ(filesMatchingPatterns({temp.path().utf8() + "/app/."}, {"*.dll", "a*"}, false),
              (std::unordered_set<std::string>{app + "a.dll", app + "b.dll", app + "a.exe"}));
    EXPECT_TRUE(filesMatchingPatterns({app + "missing"}, {"*"}, false).empty());
}

}  // namespace
}  // namespace kvx::fs
