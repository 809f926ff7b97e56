#include "framework/logging/LogFormat.h"

#include <gtest/gtest.h>

namespace kvx::services::logging {
namespace {

constexpr int64_t kMarch1st2026 = 1'772'323'200'000'000'000;  // 2026-03-01T00:00:00Z

TEST(LogTimestamp, UtcCalendarWithMilliseconds) {
    const int64_t time = kMarch1st2026 + ((17 * 60 + 5) * 60 + 9) * 1'000'000'000LL + 42'999'999;
    EXPECT_EQ(formatUtcTimestamp(time), "2026-03-01T17:05:09.042Z");
    EXPECT_EQ(formatUtcTimestamp(0), "1970-01-01T00:00:00.000Z");
    // Leap day and the last millisecond of a year.
    EXPECT_EQ(formatUtcTimestamp(951'782'400'000'000'000), "2000-02-29T00:00:00.000Z");
    EXPECT_EQ(formatUtcTimestamp(1'767'225'599'999'000'000), "2025-12-31T23:59:59.999Z");
    EXPECT_EQ(formatUtcTimestamp(-1'000'000), "1969-12-31T23:59:59.999Z");
}

// Fields aligned and tab separated; a full signature shows as its qualified name.
TEST(LogLineFormat, FieldsLevelNamesAndQualifiedFunction) {
    const std::tuple<int32_t, const char*, const char*> rows[] = {
        {Info, "kvx::apps::destager::internal::swapFolders",
         "[2026-03-01T00:00:00.000Z]\tPID:   816\tTID:  4242\tINFO    \t"
         "(kvx::apps::destager::internal::swapFolders)\tpath[C:\\x]"},
        {-1, "f", "\tFATAL   \t(f)\tpath[C:\\x]"},
        {Warn, "kvx::Result<void, int> __cdecl kvx::apps::suite::stop(const std::string &, int)",
         "\tWARN    \t(kvx::apps::suite::stop)\tpath[C:\\x]"},
        {Verbose, "f", "\tVERBOSE \t(f)\tpath[C:\\x]"},
        {9, "f", "\t???     \t(f)\tpath[C:\\x]"}};
    for (const auto& [level, function, tail] : rows) {
        const std::string text =
            formatLogLine(2, LogLine{function, "unused", 4242, level, kMarch1st2026}, 816, "path[C:\\x]");
        EXPECT_TRUE(text.starts_with("     2\t") && text.ends_with(tail)) << text;
    }
}

// Masking in the files is tested with the logger; these are the cases that could loop for ever.
TEST(PersonaeMask, EmptyStringsAndTheMaskItselfAreNotMatched) {
    EXPECT_EQ(maskPersonae("nothing to hide", {"", ""}), "nothing to hide");
    EXPECT_EQ(maskPersonae("#a#", {"#", ""}), "####a####");
}

TEST(LogFiles, RotationLimitsAndFolderByElevation) {
    EXPECT_FALSE(needsRotation(4'194'304, kMainLogSizeLimit));
    EXPECT_TRUE(needsRotation(4'194'305, kMainLogSizeLimit));
    EXPECT_FALSE(needsRotation(12'582'912, kVerboseLogSizeLimit));
    EXPECT_TRUE(needsRotation(12'582'913, kVerboseLogSizeLimit));
    EXPECT_EQ(logsFolder(true, "C:\\ProgramData", "C:\\Users\\u\\AppData\\Local"),
              "C:\\ProgramData\\Korv Desktop\\Logs");
    EXPECT_EQ(logsFolder(false, "C:\\ProgramData", "C:\\Users\\u\\AppData\\Local"),
              "C:\\Users\\u\\AppData\\Local\\Tessory\\Korv Desktop\\Logs");
}

}  // namespace
}  // namespace kvx::services::logging
