// The Windows conversions and the system-library loader under Wine.
#include "foundation/TextConversion.h"

#include <gtest/gtest.h>

#include "foundation/SystemLibrary.h"
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

TEST(SystemLibrary, MissingLibrariesAndFunctionsAreNamedInTheirErrors) {
    auto missing = SystemLibrary::load(L"kvx-no-such-library.dll");
    EXPECT_EQ(missing.peekError().name, "kvx-no-such-library.dll");
    EXPECT_EQ(missing.peekError().osError, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    auto library = SystemLibrary::load(L"version.dll").unwrap();
    EXPECT_TRUE(library.function<DWORD WINAPI(LPCWSTR, LPDWORD)>("GetFileVersionInfoSizeW").isOk());
    EXPECT_EQ(library.function<void()>("NoSuchExport").peekError().name, "version.dll!NoSuchExport");
}

TEST(SystemLibrary, ADllBesideTheExecutableDoesNotSatisfyTheLoad) {
    wchar_t exe[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, exe, MAX_PATH), 0u);
    std::wstring planted(exe);
    planted = planted.substr(0, planted.find_last_of(L"\\/") + 1) + L"kvxplanted.dll";
    ASSERT_TRUE(CopyFileW(exe, planted.c_str(), FALSE));
    auto result = SystemLibrary::load(L"kvxplanted.dll");
    DeleteFileW(planted.c_str());
    EXPECT_TRUE(result.isError());
}

}  // namespace
}  // namespace kvx::foundation
