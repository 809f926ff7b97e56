#include "framework/config/KVPs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "support/Capture.h"

namespace kvx {
namespace {

std::map<std::string, std::string> pairsOf(const KVPs& kvps) {
    return {kvps.begin(), kvps.end()};
}

KVPs fromToml(std::string_view text) {
    KVPs kvps;
    kvps.addFromTomlString(text);
    return kvps;
}

KVPs fromIni(std::string_view text) {
    KVPs kvps;
    kvps.addFromString(text, "=", "\n", true);
    return kvps;
}

TEST(KVPsToml, SectionsPrefixKeysAndReplaceEachOther) {
    const KVPs kvps = fromToml("top = 1\n[app]\nmode = a\n[\"qa\"]\nx = 2\n['deep.er']\ny=3\n");
    EXPECT_EQ(pairsOf(kvps), (std::map<std::string, std::string>{
                                 {"top", "1"}, {"app.mode", "a"}, {"qa.x", "2"}, {"deep.er.y", "3"}}));
}

TEST(KVPsToml, BooleansQuotesAndBlanks) {
    const KVPs kvps = fromToml(
        "  a = true \r\nb=false\nc='true'\nd=\"false\"\n'e' = \"quoted value\"\nf = 'unbalanced\ng = "
        "trailing'\n"
        "\t h =\t spaced  inside \t\n");
    EXPECT_EQ(*kvps.find("a"), "1");
    EXPECT_EQ(*kvps.find("b"), "0");
    EXPECT_EQ(*kvps.find("c"), "true");  // quoted: the text, not the boolean
    EXPECT_EQ(*kvps.find("d"), "false");
    EXPECT_EQ(*kvps.find("e"), "quoted value");
    EXPECT_EQ(*kvps.find("f"), "unbalanced");
    EXPECT_EQ(*kvps.find("g"), "trailing'");  // only a leading quote starts quote removal
    EXPECT_EQ(*kvps.find("h"), "spaced  inside");
    EXPECT_FALSE(kvps.contains("True"));
}

TEST(KVPsToml, EmptyValueLeavesEarlierValueAndSecondEqualsStaysInValue) {
    KVPs kvps = fromToml("key = first\nurl = a=b=c\n");
    kvps.addFromTomlString("key =   \nkey=\n");
    EXPECT_EQ(*kvps.find("key"), "first");
    EXPECT_EQ(*kvps.find("url"), "a=b=c");
    kvps.addFromTomlString("key = second");
    EXPECT_EQ(*kvps.find("key"), "second");
}

TEST(KVPsToml, CommentsAreListedAndUnparseableLinesLogged) {
    test::ScopedCapturingLogger logger;
    const KVPs kvps = fromToml("# first\n  #second  \nno equals here\n\n[s]\nk=v # not a comment\n");
    EXPECT_EQ(kvps.comments(), (std::vector<std::string>{"# first", "#second"}));
    EXPECT_EQ(*kvps.find("s.k"), "v # not a comment");
    EXPECT_EQ(kvps.size(), 1u);
    EXPECT_EQ(logger->lines(),
              (std::vector<test::LoggedLine>{{services::logging::Error, "kvx::KVPs::addFromTomlString",
                                              "Could not parse [no equals here] from cfg"}}));
}

TEST(KVPsIni, CommentRulesIncludingTheFirstSlash) {
    const KVPs kvps = fromIni(
        "machine.a = 1 # trailing\n"
        "# machine.hidden=1\n"
        "// machine.gone=2\n"
        "machine.url=a:x//y\n"
        "machine.path=c:/dir//file\n"
        "machine.hash=x#y//z\n"
        "  machine.blank  =  in side  \r\n"
        "machine.eq=a=b\n"
        "bare key\n"
        "=novalue\n"
        "/single=1\n");
    EXPECT_EQ(pairsOf(kvps), (std::map<std::string, std::string>{{"machine.a", "1"},
                                                                 {"machine.url", "a:x"},
                                                                 {"machine.path", "c:/dir//file"},
                                                                 {"machine.hash", "x"},
                                                                 {"machine.blank", "in side"},
                                                                 {"machine.eq", "a=b"},
                                                                 {"bare key", ""}}));
}

TEST(KVPsIni, LaterLineWinsAndCommentsOffKeepsEverything) {
    KVPs kvps;
    kvps.addFromString("k=1\nk=2\nc=a#b//c", "=", "\n", false);
    EXPECT_EQ(*kvps.find("k"), "2");
    EXPECT_EQ(*kvps.find("c"), "a#b//c");
    kvps.addFromString("x:1;y:2", ":", ";", true);
    EXPECT_EQ(*kvps.find("y"), "2");
}

TEST(KVPsIni, SeparatorsMustBeOneCharacter) {
    test::ScopedAssertCapture asserts;
    KVPs kvps;
    kvps.addFromString("a==1", "==", "\n", true);
    kvps.addFromString("a=1\r\n", "=", "\r\n", true);
    EXPECT_TRUE(kvps.empty());
    EXPECT_EQ(asserts.conditionsAndMessages(),
              (std::vector<std::pair<std::string, std::string>>{
                  {"kSeparatorLength == kvJoint.length()", "Length of key value pair joint should be 1!"},
                  {"kSeparatorLength == pairsJoint.length()", "Length of pairs joint should be 1!"}}));
}

TEST(KVPsWriter, NoTrailingSeparatorAndRoundTrip) {
    KVPs kvps;
    EXPECT_EQ(kvps.toString("=", "\n"), "");
    kvps.set("machine.one", "1");
    EXPECT_EQ(kvps.toString("=", "\n"), "machine.one=1");
    kvps.set("machine.two", "a b=c");
    kvps.set("machine.one", "replaced");
    const std::string written = kvps.toString("=", "\n");
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 1) << written;
    EXPECT_EQ(pairsOf(fromIni(written)),
              (std::map<std::string, std::string>{{"machine.one", "replaced"}, {"machine.two", "a b=c"}}));
}

}  // namespace
}  // namespace kvx
