// Wine's real registry under test keys; failures Wine cannot produce go through a scripted proxy. The
// Windows text conversions and the system-library loader.
#include "foundation/registry/RegistryKey.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/SystemLibrary.h"
#include "foundation/TextConversion.h"
#include "foundation/registry/RegistryEnumeration.h"
#include "foundation/registry/RegistryTestSupport.h"
#include "support/Capture.h"

namespace kvx::foundation {
namespace {

using test::ScopedAssertCapture;
using test::ScopedRegistryProxy;
using test::ScopedTestKey;
using test::ScriptedRegistryProxy;

// The stored type and size in bytes, as other programs reading the value see it.
std::pair<DWORD, DWORD> stored(const RegistryKey& key, const wchar_t* name) {
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(::RegQueryValueExW(key.handle(), name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    return {type, size};
}

TEST(RegistryKey, ValuesAreStoredAsStringsAndDwords) {
    ScopedTestKey testKey("values");
    RegistryKey key = testKey.open(true);
    EXPECT_TRUE(key.set("utf8", std::string_view("K\xC3\xB6rv")));
    EXPECT_TRUE(key.set("empty", ""));
    EXPECT_TRUE(key.set("flag", true));
    EXPECT_EQ(key.get<std::wstring>("utf8"), L"K\u00F6rv");
    EXPECT_EQ(stored(key, L"utf8"), (std::pair<DWORD, DWORD>{REG_SZ, 10}));  // four characters and the NUL
    EXPECT_EQ(stored(key, L"empty"), (std::pair<DWORD, DWORD>{REG_SZ, 2}));
    EXPECT_EQ(stored(key, L"flag"), (std::pair<DWORD, DWORD>{REG_DWORD, 4}));

    // An expandable string is read unexpanded; other types and over-long strings read as empty.
    const wchar_t text[] = L"%TEMP%\\x";
    ASSERT_EQ(::RegSetValueExW(key.handle(), L"expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(text),
                               sizeof(text)),
              0);
    EXPECT_EQ(key.get<std::string>("expand"), "%TEMP%\\x");
    const uint64_t qword = 7;
    ASSERT_EQ(
        ::RegSetValueExW(key.handle(), L"qword", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&qword), 8), 0);
    EXPECT_EQ(key.get<uint32_t>("qword"), 0u);
    ASSERT_TRUE(key.set("long", std::wstring_view(std::wstring(4096, L'x'))));
    EXPECT_EQ(key.get<std::wstring>("long"), L"");
    ASSERT_TRUE(key.set("dword", uint32_t{5}));
    ScopedAssertCapture asserts;
    EXPECT_EQ(key.get<std::string>("dword"), "");
    EXPECT_EQ(asserts.messages(),
              std::vector<std::string>{
                  "Can only return strings if regType is REG_SZ or REG_EXPAND_SZ. regType=[4]"});
}

TEST(RegistryKey, RefusedOpenAndCreateLeaveAnInvalidKeyThatWritesNothing) {
    ScriptedRegistryProxy proxy;
    proxy.openKey = [](HKEY, LPCWSTR, DWORD, REGSAM, PHKEY) { return LSTATUS{ERROR_FILE_NOT_FOUND}; };
    proxy.createKey = [](HKEY, LPCWSTR, REGSAM) { return LSTATUS{ERROR_ACCESS_DENIED}; };
    ScopedRegistryProxy installed(proxy);
    RegistryKey(HKEY_CURRENT_USER, "a", true, false);
    RegistryKey(HKEY_CURRENT_USER, "a", false, false);
    RegistryKey denied(HKEY_CURRENT_USER, "a", true, true);
    RegistryKey(HKEY_CURRENT_USER, "a", false, true);
    EXPECT_EQ(proxy.masks, (std::vector<REGSAM>{0x20119, 0x20219, 0x2011F, 0x2021F}));
    EXPECT_EQ(denied.status(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(denied.set("x", "text"));
    EXPECT_FALSE(denied.deleteValue("x"));
    EXPECT_EQ(denied.get<uint32_t>("x"), 0u);
}

TEST(RegistryKey, FailedReadsAreAsserted) {
    ScriptedRegistryProxy proxy;
    int calls = 0;
    proxy.queryValue = [&calls](HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD size) {
        *size = 4;
        return LSTATUS{++calls == 1 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED};
    };
    proxy.getValue = [](HKEY, LPCWSTR, LPCWSTR, DWORD, LPDWORD type, PVOID, LPDWORD) {
        *type = REG_MULTI_SZ;
        return LSTATUS{ERROR_MORE_DATA};
    };
    ScopedRegistryProxy installed(proxy);
    ScopedAssertCapture asserts;
    RegistryKey root(HKEY_CURRENT_USER, "", true, false);
    EXPECT_EQ(root.get<uint32_t>("x"), 0u) << "the second of the two reads fails";
    EXPECT_EQ(root.getMultiString("x").unwrapError(), "Failed to read value size, name[x], status[234]");
    const auto reports = asserts.conditionsAndMessages();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].first, "status == 0L");
    EXPECT_EQ(reports[1], (std::pair<std::string, std::string>{
                              "status != 234L",
                              "Must not get an insufficient buffer error when requesting buffer size"}));
}

// The registry refuses key names over 255 characters, so the over-long name is scripted.
TEST(RegistryKey, EnumerationSkipsNamesTooLongAndStopsWhenAskedOrAtAnInvalidHandle) {
    const std::vector<std::wstring> names{L"first", std::wstring(300, L'n'), L"last", L"unread"};
    const registry_detail::EnumerateAt listing = [&names](DWORD index, wchar_t* buffer,
                                                          DWORD* length) -> LSTATUS {
        if (index >= names.size()) {
            return ERROR_NO_MORE_ITEMS;
        }
        if (names[index].size() >= *length) {
            return ERROR_MORE_DATA;
        }
        *length = static_cast<DWORD>(names[index].copy(buffer, names[index].size()));
        return ERROR_SUCCESS;
    };
    std::vector<std::string> seen;
    registry_detail::enumerateNames(listing, [&seen](const std::string& name) {
        seen.push_back(name);
        return name != "last";
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"first", "last"}));

    int calls = 0;
    registry_detail::enumerateNames(
        [&calls](DWORD, wchar_t*, DWORD*) -> LSTATUS {
            return ++calls < 3 ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE;
        },
        [](const std::string&) { return true; });
    EXPECT_EQ(calls, 3);
}

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

TEST(SystemLibrary, MissingLibrariesAndFunctionsAreNamedAndAPlantedOneIsNotLoaded) {
    auto missing = SystemLibrary::load(L"kvx-no-such-library.dll");
    EXPECT_EQ(missing.peekError().name, "kvx-no-such-library.dll");
    EXPECT_EQ(missing.peekError().osError, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    auto library = SystemLibrary::load(L"version.dll").unwrap();
    EXPECT_TRUE(library.function<DWORD WINAPI(LPCWSTR, LPDWORD)>("GetFileVersionInfoSizeW").isOk());
    EXPECT_EQ(library.function<void()>("NoSuchExport").peekError().name, "version.dll!NoSuchExport");
    // A DLL planted beside the executable does not satisfy the load.
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
