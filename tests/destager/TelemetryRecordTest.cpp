#include "destager/TelemetryRecord.h"

#include <gtest/gtest.h>

#include "destager/ArchiveEntryPath.h"
#include "destager/TelemetryRecordDecoding.h"

namespace kvx::apps {
namespace {

TelemetryRecord sampleRecord() {
    return TelemetryRecord({"2026-01-01T00:00:00.000", "UPEC-2215", "staged_file_missing,", "warning",
                            "Staged file missing, file[Korv Desktop/a b&c=d%.dll]", "13.1.0.7",
                            "13.696.0.6209", "5f1c-uuid", "2", "attended"});
}

// Each key and value percent-encoded (lowercase hex; letters, digits, "-._~" kept), then the whole line.
TEST(TelemetryRecord, WireFormatEncodesEachValueThenTheLine) {
    EXPECT_EQ(
        encodeTelemetryRecord({"t", "UPEC-1", "k,", "w", "a b&c=d%/\xc3\xa9~", "1", "2", "u", "3", "x"}),
        "ts_incident%3dt%26ecod%3dUPEC-1%26emsg%3dk%252c%26esev%3dw%26estr%3da%2520b%2526c%253dd"
        "%2525%252f%25c3%25a9~%26fvers%3d1%26tvers%3d2%26uuid%3du%26attempt%3d3%26ctx%3dx");
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
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {last.substr(0, cut), "x", "missing fvers, tvers, uuid, attempt, ctx"},
        {last.substr(0, cut + 2), "x%2",
         "invalid escape \"%2\" at the end (cut off?) (kept as text); missing fvers, tvers, uuid, attempt, "
         "ctx"},
        {replaced("estr%3dx", "estr%3dx%zz"), "x%zz", "invalid escape \"%zz\" (kept as text)"},
        {replaced("estr%3dx", "estr%3dx%25g"), "x%g", "invalid escape \"%g\" in estr (kept as text)"},
        {replaced("%26fvers", "%26colour%3dblue%26fvers"), "x", "unknown key \"colour\""},
        {replaced("%26fvers", "%26oops%26fvers"), "x", "text without \"=\": \"oops\""},
        {replaced("%26fvers", "%26estr%3dy%26fvers"), "x", "repeated key estr (the first kept)"},
        {replaced("%26fvers%3d13.1.0.7", "") + "%26fvers%3d13.1.0.7", "x", "keys out of order"},
        {replaced("UPEC-2215", "UPEC-22x5"), "x", "code \"UPEC-22x5\" is not UPEC- and a number"},
        {"", "", "empty record"},
        {"earlier", "", "text without \"=\": \"earlier\"; no key of an error record"},
    };
    for (const auto& [lastRecord, estr, note] : cases) {
        SCOPED_TRACE(note);
        const std::vector<DecodedErrorRecord> decoded = decodeDestageErrors(good + "&" + lastRecord);
        ASSERT_EQ(decoded.size(), 2u);
        EXPECT_EQ(decoded[0].fields, sampleRecord());
        EXPECT_EQ(decoded[0].note, "");
        EXPECT_EQ(decoded[1].fields.estr, estr);
        EXPECT_EQ(decoded[1].note, note);
    }
    const std::vector<DecodedErrorRecord> stray = decodeDestageErrors("stray" + good);
    ASSERT_EQ(stray.size(), 2u);
    EXPECT_EQ(stray[0].note,
              "not introduced by \"&\"; text without \"=\": \"stray\"; no key of an error record");
    EXPECT_EQ(stray[1].fields, sampleRecord());
}

TEST(TelemetryRecordDecoding, RecordsInPlainWords) {
    const auto lastDescribed = [](const std::string& value) {
        return describeErrorRecord(decodeDestageErrors(value).back());
    };
    const std::string whole = "&" + encodeTelemetryRecord(sampleRecord());
    EXPECT_EQ(lastDescribed(whole),
              "2026-01-01T00:00:00.000 UTC: UPEC-2215 (staged_file_missing), warning: Staged file "
              "missing, file[Korv Desktop/a b&c=d%.dll]");
    EXPECT_EQ(
        lastDescribed(whole.substr(0, whole.find("%26esev"))),
        "2026-01-01T00:00:00.000 UTC: UPEC-2215 (staged_file_missing), ?:   [damaged record: missing esev, "
        "estr, fvers, tvers, uuid, attempt, ctx]");
    TelemetryRecord multiLine = sampleRecord();
    multiLine.ecod = "UPEC-9876";
    multiLine.estr = "first\nsecond";
    EXPECT_EQ(lastDescribed("&" + encodeTelemetryRecord(multiLine)),
              "2026-01-01T00:00:00.000 UTC: UPEC-9876 (unknown), warning: first\\x0asecond");
    EXPECT_EQ(describeErrorRecordContext(decodeDestageErrors(whole)[0]),
              "client 13.1.0.7, destager 13.696.0.6209, attempt 2, attended, correlation id 5f1c-uuid, "
              "kinds so far staged_file_missing,");
}

// Entry names become paths inside the staged folder; a name that could leave it is refused.
TEST(ArchiveEntryPath, NamesBecomeBackslashPathsInsideTheFolderOrAreRefused) {
    EXPECT_EQ(internal::entryRelativePath("Korv Desktop/bin/a.dll"), "Korv Desktop\\bin\\a.dll");
    EXPECT_EQ(internal::entryRelativePath("Korv Desktop//./a.dll"), "Korv Desktop\\a.dll");
    EXPECT_EQ(internal::entryRelativePath("a..b/..c"), "a..b\\..c");
    for (const char* name : {"", "/", "./", "../x.dll", "Korv Desktop/../../x.dll", "Korv Desktop/..",
                             "a\\..\\..\\b", "/etc/passwd", "\\Windows\\x.dll", "\\\\server\\share\\x",
                             "C:/Windows/x.dll", "C:x.dll", "Korv Desktop/a.dll:stream"}) {
        EXPECT_FALSE(internal::entryRelativePath(name).has_value()) << name;
    }
}

}  // namespace
}  // namespace kvx::apps
