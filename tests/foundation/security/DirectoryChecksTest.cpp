#include "foundation/security/DirectoryChecks.h"

#include <gtest/gtest.h>

namespace kvx::foundation::security {
namespace {

// Where a path may lie is checked under Wine (ProtectedDirectoryTest) with the real Windows folder.
TEST(DirectoryChecks, RedirectedBelowPrefix) {
    struct Row {
        const wchar_t* resolvedPath;
        const wchar_t* resolvedPrefix;
        bool redirected;
    };
    for (const Row& row : {Row{L"c:\\programdata\\korv desktop", L"C:\\ProgramData", false},
                           Row{L"E:\\Data\\Korv Desktop", L"E:\\Data", false},  // the prefix itself moved
                           Row{L"C:\\Windows\\System32", L"C:\\ProgramData", true},
                           Row{L"C:\\ProgramData\\Other", L"C:\\ProgramData", true},
                           Row{L"", L"C:\\ProgramData", true}}) {  // no final name to compare
        EXPECT_EQ(isRedirectedBelowPrefix(L"C:\\ProgramData\\Korv Desktop", L"C:\\ProgramData\\",
                                          row.resolvedPath, row.resolvedPrefix),
                  row.redirected)
            << testing::PrintToString(std::wstring(row.resolvedPath));
    }
}

}  // namespace
}  // namespace kvx::foundation::security
