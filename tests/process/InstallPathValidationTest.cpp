#include "process/InstallPathValidation.h"

#include <gtest/gtest.h>

#include "support/Capture.h"

namespace kvx::apps {
namespace {

// A plain prefix test on the text, folding only A to Z.
TEST(ValidateInstallPath, PlainPrefixTestWithAsciiCaseFolding) {
    const struct {
        const wchar_t* location;
        const wchar_t* executable;
        int result;
        const char* line;  // the one error logged; none: nothing is logged
    } rows[] = {
        {L"", L"C:\\Games\\Korv Desktop\\x\\KorvDestager.exe", 24, "Unable to determine install location"},
        {L"C:\\Games\\Korv Desktop\\", L"c:\\GAMES\\korv desktop\\S\\KorvDestager.exe", 0, nullptr},
        {L"C:\\Spiele\\\u00C4pfel\\", L"C:\\Spiele\\\u00E4pfel\\KorvDestager.exe", 23,
         "Destager not running from install folder"},
        // A sibling folder whose name extends the install folder's name passes.
        {L"C:\\Games\\Korv Desktop", L"C:\\Games\\Korv Desktop2\\KorvDestager.exe", 0, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.result << " " << (row.line ? row.line : ""));
        test::ScopedCapturingLogger logger;
        EXPECT_EQ(validateInstallPath(row.location, row.executable), row.result);
        std::vector<test::LoggedLine> expected;
        if (row.line) {
            expected.push_back({services::logging::Error, "kvx::apps::validateInstallPath", row.line});
        }
        EXPECT_EQ(logger->lines(), expected);
    }
}

}  // namespace
}  // namespace kvx::apps
