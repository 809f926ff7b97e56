#include "destager/TelemetryRecord.h"

#include <gtest/gtest.h>

#include "destager/ArchiveEntryPath.h"
#include "destager/ErrorKinds.h"
#include "destager/TelemetryRecordDecoding.h"
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
    const std::vector<DecodedErrorRecord> decoded = decodeDestageErrors("&" + encoded);
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(decoded[0].note, "") << "every key, in the order written";
    EXPECT_EQ(decoded[0].fields,
              (TelemetryRecord{"2026-01-01T00:00:00.000", "UPEC-2215", "staged_file_missing,", "warning",
                               "Staged file missing, file[Korv Desktop/a b&c=d%.dll]", "13.1.0.7",
                               "13.696.0.6209", "5f1c-uuid", "2", "attended"}));
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

// Records a person reads back from a player's machine.ini.
TEST(TelemetryRecordDecoding, RecordsRoundTripThroughTheEncoderOldestFirst) {
    const TelemetryRecord escaped{"2026-02-03T04:05:06.789",
                                  "UPEC-4200",
                                  "a,b,registry_perms,",
                                  "fatal",
                                  "K\xc3\xb6rv & co = 100% sure, [C:\\x y]",
                                  "1.2.3.4",
                                  "5.6.7.8",
                                  "id&=%,\xe2\x82\xac",
                                  "10",
                                  "background"};
    const struct {
        const char* name;
        std::vector<TelemetryRecord> records;
        std::vector<const char*> kinds;
    } cases[] = {
        {"no record", {}, {}},
        {"every field", {sampleRecord()}, {"staged_file_missing"}},
        {"characters that need escaping", {escaped}, {"registry_perms"}},
        {"empty fields and an unknown code", {TelemetryRecord{"", "UPEC-9876"}}, {"unknown"}},
        {"oldest first",
         {sampleRecord(), escaped, sampleRecord()},
         {"staged_file_missing", "registry_perms", "staged_file_missing"}},
    };
    for (const auto& c : cases) {
        std::string value;
        for (const TelemetryRecord& record : c.records) {
            value += "&" + encodeTelemetryRecord(record);
        }
        const std::vector<DecodedErrorRecord> decoded = decodeDestageErrors(value);
        ASSERT_EQ(decoded.size(), c.records.size()) << c.name;
        for (size_t i = 0; i < decoded.size(); ++i) {
            EXPECT_EQ(decoded[i].fields, c.records[i]) << c.name << " " << i;
            EXPECT_EQ(decoded[i].note, "") << c.name << " " << i;
            EXPECT_STREQ(decoded[i].kindName(), c.kinds[i]) << c.name << " " << i;
        }
    }
}

// A damaged record never hides the records before it; it keeps what it could read and says what not.
TEST(TelemetryRecordDecoding, DamagedRecordsKeepWhatCouldBeReadWithANote) {
    const std::string good = "&" + encodeTelemetryRecord(sampleRecord());
    TelemetryRecord shortRecord = sampleRecord();
    shortRecord.estr = "x";
    const std::string last = encodeTelemetryRecord(shortRecord);
    const size_t cut = last.find("%26fvers");
    const auto replaced = [&](std::string_view from, std::string_view to) {
        std::string text = last;
        return text.replace(text.find(from), from.size(), to);
    };
    const struct {
        const char* name;
        std::string lastRecord;
        std::string estr;
        std::string note;
    } cases[] = {
        {"cut off between pairs", last.substr(0, cut), "x", "missing fvers, tvers, uuid, attempt, ctx"},
        {"cut off inside an escape", last.substr(0, cut + 2), "x%2",
         "invalid escape \"%2\" at the end (cut off?) (kept as text); missing fvers, tvers, uuid, attempt, "
         "ctx"},
        {"invalid escape", replaced("estr%3dx", "estr%3dx%zz"), "x%zz",
         "invalid escape \"%zz\" (kept as text)"},
        {"invalid inner escape", replaced("estr%3dx", "estr%3dx%25g"), "x%g",
         "invalid escape \"%g\" in estr (kept as text)"},
        {"unknown key", replaced("%26fvers", "%26colour%3dblue%26fvers"), "x", "unknown key \"colour\""},
        {"pair without a value", replaced("%26fvers", "%26oops%26fvers"), "x",
         "text without \"=\": \"oops\""},
        {"repeated key", replaced("%26fvers", "%26estr%3dy%26fvers"), "x",
         "repeated key estr (the first kept)"},
        {"keys out of order", replaced("%26fvers%3d13.1.0.7", "") + "%26fvers%3d13.1.0.7", "x",
         "keys out of order"},
        {"code without a number", replaced("UPEC-2215", "UPEC-22x5"), "x",
         "code \"UPEC-22x5\" is not UPEC- and a number"},
        {"empty", "", "", "empty record"},
        {"no key at all", "earlier", "", "text without \"=\": \"earlier\"; no key of an error record"},
    };
    for (const auto& c : cases) {
        const std::vector<DecodedErrorRecord> decoded = decodeDestageErrors(good + "&" + c.lastRecord);
        ASSERT_EQ(decoded.size(), 2u) << c.name;
        EXPECT_EQ(decoded[0].fields, sampleRecord()) << c.name;
        EXPECT_EQ(decoded[0].note, "") << c.name;
        EXPECT_EQ(decoded[1].fields.estr, c.estr) << c.name;
        EXPECT_EQ(decoded[1].note, c.note) << c.name;
    }
    const std::vector<DecodedErrorRecord> stray = decodeDestageErrors("stray" + good);
    ASSERT_EQ(stray.size(), 2u);
    EXPECT_EQ(stray[0].note,
              "not introduced by \"&\"; text without \"=\": \"stray\"; no key of an error record");
    EXPECT_EQ(stray[1].fields, sampleRecord());
}

TEST(TelemetryRecordDecoding, RecordsInPlainWords) {
    TelemetryRecord multiLine = sampleRecord();
    multiLine.ecod = "UPEC-9876";
    multiLine.estr = "first\nsecond";
    const std::string whole = encodeTelemetryRecord(sampleRecord());
    const std::string cutOff = whole.substr(0, whole.find("%26esev"));
    const struct {
        const char* name;
        std::string value;
        std::string line;
    } cases[] = {
        {"clean", "&" + encodeTelemetryRecord(sampleRecord()),
         "2026-01-01T00:00:00.000 UTC: UPEC-2215 (staged_file_missing), warning: Staged file missing, "
         "file[Korv Desktop/a b&c=d%.dll]"},
        {"control bytes and an unknown code", "&" + encodeTelemetryRecord(multiLine),
         "2026-01-01T00:00:00.000 UTC: UPEC-9876 (unknown), warning: first\\x0asecond"},
        {"damaged", "&" + cutOff,
         "2026-01-01T00:00:00.000 UTC: UPEC-2215 (staged_file_missing), ?:   [damaged record: missing esev, "
         "estr, fvers, tvers, uuid, attempt, ctx]"},
    };
    for (const auto& c : cases) {
        const std::vector<DecodedErrorRecord> decoded = decodeDestageErrors(c.value);
        ASSERT_EQ(decoded.size(), 1u) << c.name;
        EXPECT_EQ(describeErrorRecord(decoded[0]), c.line) << c.name;
    }
    EXPECT_EQ(describeErrorRecordContext(decodeDestageErrors("&" + encodeTelemetryRecord(sampleRecord()))[0]),
              "client 13.1.0.7, destager 13.696.0.6209, attempt 2, attended, correlation id 5f1c-uuid, "
              "kinds so far staged_file_missing,");
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
    for (const char* name : {"", "/", "./", "../x.dll", "Korv Desktop/../../x.dll", "Korv Desktop/..",
                             "a\\..\\..\\b", "/etc/passwd", "\\Windows\\x.dll", "\\\\server\\share\\x",
                             "C:/Windows/x.dll", "C:x.dll", "Korv Desktop/a.dll:stream"}) {
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
