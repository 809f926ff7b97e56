// The settings store and the two key-value grammars it is filled from.
#include "framework/config/ConfigSystem.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "support/Capture.h"

namespace kvx::config {
namespace {

// "key=value|" for each pair, sorted by key.
std::string sortedPairs(const KVPs& kvps) {
    std::string text;
    for (const auto& [key, value] : std::map<std::string, std::string>(kvps.begin(), kvps.end())) {
        text += key + "=" + value + "|";
    }
    return text;
}

using Asserted = test::Reports;
using Logged = test::LoggedLines;

// Numbers are the leading decimal digits, 0 when there are none or they overflow; a boolean is false
// only for "0" and "false"; a missing key (and, for a boolean, an empty value) reads as the default.
TEST(ConfigStore, ReadsCaseInsensitiveKeysAndScopes) {
    constexpr int kDefault = -1;
    // Text (nullptr: unset), boolean (kDefault: either default), numbers read with defaults 77 and 1.
    const std::tuple<const char*, int, uint32_t, uint64_t> rows[] = {
        {nullptr, kDefault, 77, 1},
        {"", kDefault, 0, 0},
        {"0", false, 0, 0},
        {"false", false, 0, 0},
        {"FALSE", true, 0, 0},
        {"12abc", true, 12, 12},
        {"4294967296", true, 0, 4294967296ull},
        {"18446744073709551615x", true, 0, 18446744073709551615ull},
        {"18446744073709551616", true, 0, 0}};
    for (const auto& [text, asBool, as32, as64] : rows) {
        SCOPED_TRACE(text ? text : "<unset>");
        ConfigSystem config;
        if (text) {
            config.set(Store::Ordinary, "n", text, kScopeStatic);
        }
        EXPECT_EQ(config.getBool("n", true), asBool == kDefault || asBool);
        EXPECT_EQ(config.getBool("n", false), asBool != kDefault && asBool);
        EXPECT_EQ(config.getUInt32("n", 77), as32);
        EXPECT_EQ(config.getUInt64("n", 1), as64);
        EXPECT_EQ(config.getString("n", "default"), text ? text : "default");
    }
    ConfigSystem config;
    // Keys in any case are one setting; the scope filter gives effective values of keys a store holds.
    config.set(Store::Ordinary, "Machine.A", "a", kScopeMachine);
    config.set(Store::Ordinary, "app.x", "3", kScopeStatic);
    config.set(Store::Override, "MACHINE.a", "override", kScopeStatic);
    config.set(Store::Override, "machine.only", "x", kScopeMachine);
    EXPECT_TRUE(config.contains("mAcHiNe.a"));
    EXPECT_EQ(sortedPairs(config.filterByScope(kScopeMachine)), "machine.a=override|machine.only=x|");
    config.clearOverrides();
    EXPECT_EQ(sortedPairs(config.filterByScope(kScopeMachine)), "machine.a=a|");
}

TEST(KVPsToml, SectionsQuotesBooleansBlanksAndUnparseableLines) {
    test::ScopedCapturingLogger logger;
    KVPs kvps;
    // A quoted boolean stays text; only a leading quote starts quote removal.
    kvps.addFromTomlString(
        "top = true \r\n'quoted' = \"two words\"\n  # comment = 1\nno equals here\n[app]\noff=false\n"
        "text='true'\nopen = 'unbalanced\nclose = trailing'\n\t spaced =\t in  side \t\n"
        "url = a=b # not a comment\n[\"qa\"]\nx = 2\n['deep.er']\ny=3\n");
    EXPECT_EQ(sortedPairs(kvps),
              "app.close=trailing'|app.off=0|app.open=unbalanced|app.spaced=in  side|app.text=true|"
              "app.url=a=b # not a comment|deep.er.y=3|qa.x=2|quoted=two words|top=1|");
    EXPECT_EQ(logger->lines(), (Logged{{services::logging::Error, "kvx::KVPs::addFromTomlString",
                                        "Could not parse [no equals here] from cfg"}}));
    // An empty value leaves the earlier one; a later value replaces it.
    kvps.addFromTomlString("top =   \ntop=\nqa.x = 3");
    EXPECT_EQ(*kvps.find("top"), "1");
    EXPECT_EQ(*kvps.find("qa.x"), "3");
}

// machine.ini lines: "=" and line feeds, "#" and the line's first "//" open comments, later wins.
TEST(KVPsIni, CommentRulesIncludingTheFirstSlashAndOneCharacterSeparators) {
    test::ScopedAssertCapture asserts;
    KVPs kvps;
    kvps.addFromString("a==1", "==", "\n", true);
    kvps.addFromString("a=1\r\n", "=", "\r\n", true);
    EXPECT_TRUE(kvps.empty());
    EXPECT_EQ(
        asserts.conditionsAndMessages(),
        (Asserted{{"kSeparatorLength == kvJoint.length()", "Length of key value pair joint should be 1!"},
                  {"kSeparatorLength == pairsJoint.length()", "Length of pairs joint should be 1!"}}));
    kvps.addFromString(
        "machine.a = 1 # trailing\n# machine.hidden=1\n// machine.gone=2\nmachine.url=a:x//y\n"
        "machine.path=c:/dir//file\nmachine.hash=x#y//z\n  machine.blank  =  in side  \r\nmachine.eq=a=b\n"
        "machine.eq=c=d\nbare key\n=novalue\n/single=1\n",
        "=", "\n", true);
    EXPECT_EQ(sortedPairs(kvps),
              "bare key=|machine.a=1|machine.blank=in side|machine.eq=c=d|machine.hash=x|"
              "machine.path=c:/dir//file|machine.url=a:x|");
}

}  // namespace
}  // namespace kvx::config
