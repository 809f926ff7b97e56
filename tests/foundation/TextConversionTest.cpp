#include "foundation/TextConversion.h"

#include <gtest/gtest.h>

#include "support/Capture.h"

namespace kvx::foundation {
namespace {

const char kBadUtf8[] =
    "a\xFF"
    "b";
const wchar_t kLoneSurrogate[] = {L'a', 0xD800, L'b', 0};

TEST(TextConversion, ConvertsAndNamesTheCauseOfFailures) {
    EXPECT_EQ(multiByteToWide("K\xC3\xB6rv \xF0\x9F\x8E\xAE", kMeasureLength, kCodePageUtf8, false).unwrap(),
              L"K\u00F6rv \U0001F3AE");
    EXPECT_EQ(multiByteToWide("abcdef", 3, kCodePageUtf8, false).unwrap(), L"abc");
    EXPECT_EQ(multiByteToWide("\0abc", 4, kCodePageUtf8, false).unwrap(), L"");
    EXPECT_EQ(multiByteToWide(kBadUtf8, 3, kCodePageUtf8, true).unwrap(), L"a\uFFFDb");
    EXPECT_EQ(wideToUtf8(kLoneSurrogate, kMeasureLength, false).unwrap(),
              "a\xEF\xBF\xBD"
              "b");

    // The texts of invalid input are checked where they are asserted.
    EXPECT_EQ(multiByteToWide("x", kMaxConversionLength + 1, kCodePageUtf8, false).unwrapError(),
              "Conversion failed, string too large, size=[1073741825]");
    EXPECT_EQ(wideToUtf8(L"x", kMaxConversionLength + 1, false).unwrapError(),
              "Conversion failed, attempted large or unbound string size=[1073741825]");
}

// The UTF-8 check guards the names in a staged archive.
TEST(TextConversion, ConvenienceFormsAssertWithTheCallersLocationAndTheUtf8CheckDoesNot) {
    test::ScopedAssertCapture asserts;
    EXPECT_TRUE(isValidUtf8("\xE2\x82\xAC", kMeasureLength));
    EXPECT_FALSE(isValidUtf8(nullptr, 3));
    EXPECT_FALSE(isValidUtf8("\xE2\x82", kMeasureLength));
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80", 3)) << "an encoded surrogate is not UTF-8";
    EXPECT_FALSE(isValidUtf8("a", kMaxConversionLength + 1));
    EXPECT_EQ(toWideChar(std::string_view("ok"), false, KVX_SOURCE_LOCATION), L"ok");
    EXPECT_EQ(toWideChar(std::string_view("\xC3", 1), false, SourceLocation{"reg.cpp", "RegistryKey", 42}),
              L"");
    EXPECT_EQ(wideCharToUtf8(kLoneSurrogate, true, SourceLocation{"x.cpp", "caller", 7}), "");
    EXPECT_EQ(asserts.messages(),
              (std::vector<std::string>{
                  "Conversion failed. codePage=[65001] errorCode=[1113] in reg.cpp:RegistryKey:42",
                  "Conversion failed. errorCode=[1113] in x.cpp:caller:7"}));
}

}  // namespace
}  // namespace kvx::foundation
