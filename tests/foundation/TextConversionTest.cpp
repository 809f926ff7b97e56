#include "foundation/TextConversion.h"

#include <gtest/gtest.h>

#include "support/Capture.h"

namespace kvx::foundation {
namespace {

TEST(MultiByteToWide, EmptyAndNulLeadingInputsNeedNoConversion) {
    EXPECT_EQ(multiByteToWide("", kMeasureLength, kCodePageUtf8, false).unwrap(), L"");
    EXPECT_EQ(multiByteToWide(nullptr, 5, kCodePageUtf8, false).unwrap(), L"");
    EXPECT_EQ(multiByteToWide("\0abc", 4, kCodePageUtf8, false).unwrap(), L"");
}

TEST(MultiByteToWide, ConvertsMeasuredAndCountedText) {
    EXPECT_EQ(multiByteToWide("K\xC3\xB6rv \xF0\x9F\x8E\xAE", kMeasureLength, kCodePageUtf8, false).unwrap(),
              L"K\u00F6rv \U0001F3AE");
    EXPECT_EQ(multiByteToWide("abcdef", 3, kCodePageUtf8, false).unwrap(), L"abc");
}

TEST(MultiByteToWide, InvalidSequenceStrictFailsLenientSubstitutes) {
    const char bad[] = "a\xFF" "b";
    auto strict = multiByteToWide(bad, 3, kCodePageUtf8, false);
    EXPECT_EQ(strict.peekError(), "Conversion failed. codePage=[65001] errorCode=[1113]");
    EXPECT_EQ(multiByteToWide(bad, 3, kCodePageUtf8, true).unwrap(), L"a\uFFFDb");
}

TEST(MultiByteToWide, RefusesTextOverTheLimit) {
    auto result = multiByteToWide("x", kMaxConversionLength + 1, kCodePageUtf8, false);
    EXPECT_EQ(result.peekError(), "Conversion failed, string too large, size=[1073741825]");
}

TEST(WideToUtf8, LoneSurrogateFailsOnlyWhenStrict) {
    const wchar_t lone[] = {L'a', 0xD800, L'b', 0};
    auto strict = wideToUtf8(lone, kMeasureLength, true);
    EXPECT_EQ(strict.peekError(), "Conversion failed. errorCode=[1113]");
    EXPECT_EQ(wideToUtf8(lone, kMeasureLength, false).unwrap(), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(wideToUtf8(L"", kMeasureLength, true).unwrap(), "");
    auto huge = wideToUtf8(L"x", kMaxConversionLength + 1, false);
    EXPECT_EQ(huge.peekError(), "Conversion failed, attempted large or unbound string size=[1073741825]");
}

TEST(ConvenienceForms, ErrorIsAssertedWithTheCallersLocationAndGivesEmpty) {
    test::ScopedAssertCapture asserts;
    EXPECT_EQ(toWideChar(std::string_view("ok"), false, KVX_SOURCE_LOCATION), L"ok");
    EXPECT_EQ(toWideChar(std::string_view("\xC3", 1), false, SourceLocation{"reg.cpp", "RegistryKey", 42}), L"");
    const wchar_t lone[] = {0xDC00, 0};
    EXPECT_EQ(wideCharToUtf8(lone, true, SourceLocation{"x.cpp", "caller", 7}), "");
    EXPECT_EQ(wideCharToUtf8(lone, false, SourceLocation{"x.cpp", "caller", 7}), "\xEF\xBF\xBD");
    auto reports = asserts.asserts();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].message, "Conversion failed. codePage=[65001] errorCode=[1113] in reg.cpp:RegistryKey:42");
    EXPECT_EQ(reports[1].message, "Conversion failed. errorCode=[1113] in x.cpp:caller:7");
}

TEST(IsValidUtf8, ReportsWithoutAsserting) {
    test::ScopedAssertCapture asserts;
    EXPECT_FALSE(isValidUtf8(nullptr, 3));
    EXPECT_TRUE(isValidUtf8("", 0));
    EXPECT_TRUE(isValidUtf8("\xE2\x82\xAC", kMeasureLength));
    EXPECT_FALSE(isValidUtf8("\xE2\x82", kMeasureLength));
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80", 3)) << "an encoded surrogate is not UTF-8";
    EXPECT_FALSE(isValidUtf8("a", kMaxConversionLength + 1));
    EXPECT_TRUE(asserts.asserts().empty());
}

}  // namespace
}  // namespace kvx::foundation
