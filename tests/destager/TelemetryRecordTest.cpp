#include "destager/TelemetryRecord.h"

#include <gtest/gtest.h>

#include "destager/ArchiveEntryPath.h"
#include "destager/ErrorKinds.h"
#include "destager/TelemetryDecoding.h"
#include "foundation/fs/PathRules.h"

namespace kvx::apps {
namespace {

TelemetryRecord sampleRecord() {
    return TelemetryRecord{"2026-01-01T00:00:00.000", "UPEC-2215", "staged_file_missing,", "warning",
                           "Staged file missing, file[Korv Desktop/a b&c=d%.dll]", "13.1.0.7", "13.696.0.6209",
                           "5f1c-uuid", "2", "attended"};
}

TEST(TelemetryRecord, PercentEncodingKeepsOnlyUnreservedBytes) {
    EXPECT_EQ(percentEncode("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(percentEncode("a b&c=d%/[]"), "a%20b%26c%3dd%25%2f%5b%5d");
    EXPECT_EQ(percentEncode("\xc3\xa9"), "%c3%a9");  // UTF-8 bytes, lowercase hex
    EXPECT_EQ(percentEncode(std::string("\0", 1)), "%00");
}

TEST(TelemetryRecord, EncodedRecordDecodesToEveryKeyInOrder) {
    const std::string encoded = encodeTelemetryRecord(sampleRecord());
    EXPECT_EQ(encoded.find_first_of("&= "), std::string::npos) << "the record must be one opaque token";
    const test::DecodedRecord decoded = test::decodeRecord(encoded);
    const test::DecodedRecord expected{{"ts_incident", "2026-01-01T00:00:00.000"},
                                       {"ecod", "UPEC-2215"},
                                       {"emsg", "staged_file_missing,"},
                                       {"esev", "warning"},
                                       {"estr", "Staged file missing, file[Korv Desktop/a b&c=d%.dll]"},
                                       {"fvers", "13.1.0.7"},
                                       {"tvers", "13.696.0.6209"},
                                       {"uuid", "5f1c-uuid"},
                                       {"attempt", "2"},
                                       {"ctx", "attended"}};
    EXPECT_EQ(decoded, expected);
}

TEST(TelemetryRecord, InnerLineIsEncodedTwice) {
    TelemetryRecord record{};
    record.estr = "a b";
    const std::string encoded = encodeTelemetryRecord(record);
    // The blank is "%20" in the line, and that "%" is encoded again.
    EXPECT_NE(encoded.find("estr%3da%2520b"), std::string::npos) << encoded;
    EXPECT_EQ(encoded.rfind("ts_incident%3d", 0), 0u);
}

TEST(TelemetryRecord, IncidentTimeIsUtcWithThreeDigitMilliseconds) {
    EXPECT_EQ(formatIncidentTime(1'767'225'600'000'000'000), "2026-01-01T00:00:00.000");
    EXPECT_EQ(formatIncidentTime(1'767'225'600'000'000'000 + 7'999'999), "2026-01-01T00:00:00.007");
    EXPECT_EQ(formatIncidentTime(1'780'000'000'123'456'789), "2026-05-28T20:26:40.123");
    EXPECT_EQ(formatIncidentTime(0), "1970-01-01T00:00:00.000");
}

TEST(TelemetryRecord, ReportedKindsAccumulateOldestFirst) {
    const std::string before = appendReportedKind("x");
    const std::string after = appendReportedKind("staged_file_corrupt");
    EXPECT_EQ(after, before + "staged_file_corrupt,");
    EXPECT_EQ(before.substr(before.size() - 2), "x,");
}

TEST(ErrorKinds, NamesOfCodesAndSeverities) {
    const std::pair<int32_t, const char*> codes[] = {{2200, "desktop_shortcut"},
                                                     {2213, "destaged_file_missing"},
                                                     {2216, "staged_file_corrupt"},
                                                     {2228, "symlink_swap_build_link"},
                                                     {2299, "diagnostics"},
                                                     {4200, "registry_perms"},
                                                     {4201, "key_not_found"},
                                                     {2229, "unknown"},
                                                     {0, "unknown"},
                                                     {-2215, "unknown"}};
    for (const auto& [code, name] : codes) {
        EXPECT_STREQ(upecName(code), name) << code;
    }
    const std::pair<int32_t, const char*> severities[] = {
        {0, "diag"}, {1, "warning"}, {2, "fatal"}, {3, "unknown"}, {-1, "unknown"}};
    for (const auto& [severity, name] : severities) {
        EXPECT_STREQ(severityName(severity), name) << severity;
    }
}

TEST(ArchiveEntryPath, NamesBecomeBackslashPathsInsideTheFolder) {
    EXPECT_EQ(internal::entryRelativePath("Korv Desktop/bin/a.dll"), "Korv Desktop\\bin\\a.dll");
    EXPECT_EQ(internal::entryRelativePath("Korv Desktop//./a.dll"), "Korv Desktop\\a.dll");
    EXPECT_EQ(internal::entryRelativePath("a..b/..c"), "a..b\\..c");
}

TEST(ArchiveEntryPath, NamesThatCouldLeaveTheFolderAreRefused) {
    for (const char* name : {"", "/", "./", "../x.dll", "Korv Desktop/../../x.dll", "Korv Desktop/..", "a\\..\\..\\b",
                             "/etc/passwd", "\\Windows\\x.dll", "\\\\server\\share\\x", "C:/Windows/x.dll", "C:x.dll",
                             "Korv Desktop/a.dll:stream"}) {
        EXPECT_FALSE(internal::entryRelativePath(name).has_value()) << name;
    }
}

// The rule that tells the destager's own archive entries apart.
TEST(ArchiveEntryPath, DestagerPrefixFoldsAsciiCase) {
    EXPECT_TRUE(fs::startsWithFoldingAsciiCase("destager/KorvDestager.exe", "Destager"));
    EXPECT_TRUE(fs::startsWithFoldingAsciiCase("DESTAGERx", "Destager"));
    EXPECT_FALSE(fs::startsWithFoldingAsciiCase("Destage", "Destager"));
    EXPECT_FALSE(fs::startsWithFoldingAsciiCase("Korv Desktop/Destager.dll", "Destager"));
}

}  // namespace
}  // namespace kvx::apps
