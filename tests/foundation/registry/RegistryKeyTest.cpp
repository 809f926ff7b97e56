// Runs against Wine's real registry (HKCU test keys) and, for failures Wine cannot produce, through
// a scripted proxy.
#include "foundation/registry/RegistryKey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/registry/RegistryEnumeration.h"
#include "foundation/registry/RegistryTestSupport.h"
#include "support/Capture.h"

namespace kvx::foundation {
namespace {

using test::ScopedAssertCapture;
using test::ScopedRegistryProxy;
using test::ScopedTestKey;
using test::ScriptedRegistryProxy;

DWORD storedSize(const RegistryKey& key, const wchar_t* name, DWORD* type = nullptr) {
    DWORD size = 0;
    EXPECT_EQ(::RegQueryValueExW(key.handle(), name, nullptr, type, nullptr, &size), ERROR_SUCCESS);
    return size;
}

TEST(RegistryKeyValues, TypedValuesRoundTrip) {
    ScopedTestKey testKey("values");
    RegistryKey key = testKey.open(true);
    ASSERT_TRUE(key.isValid());
    EXPECT_EQ(key.status(), 0);

    EXPECT_TRUE(key.set("utf8", std::string_view("K\xC3\xB6rv")));
    EXPECT_TRUE(key.set("wide", std::wstring_view(L"wide text")));
    EXPECT_TRUE(key.set("literal", "plain"));
    EXPECT_TRUE(key.set("number", uint32_t{0xFFFFFFFEu}));
    EXPECT_TRUE(key.set("flag", true));
    EXPECT_TRUE(key.set("", "default value"));

    EXPECT_EQ(key.get<std::string>("utf8"), "K\xC3\xB6rv");
    EXPECT_EQ(key.get<std::wstring>("utf8"), L"K\u00F6rv");
    EXPECT_EQ(key.get<std::wstring>("wide"), L"wide text");
    EXPECT_EQ(key.get<std::string>("literal"), "plain");
    EXPECT_EQ(key.get<uint32_t>("number"), 0xFFFFFFFEu);
    EXPECT_EQ(key.get<uint32_t>("flag"), 1u);
    EXPECT_EQ(key.get<std::string>(""), "default value");
    EXPECT_TRUE(key.valueExists("flag"));

    DWORD type = 0;
    EXPECT_EQ(storedSize(key, L"literal", &type), 12u);  // five characters and the NUL
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(storedSize(key, L"flag", &type), 4u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));

    EXPECT_TRUE(key.deleteValue("flag"));
    EXPECT_FALSE(key.valueExists("flag"));
    EXPECT_EQ(key.get<uint32_t>("flag"), 0u);
    EXPECT_FALSE(key.deleteValue("flag"));

    // An empty string stores one wide NUL; an expandable string is read unexpanded.
    EXPECT_TRUE(key.set("empty", ""));
    EXPECT_EQ(storedSize(key, L"empty"), 2u);
    EXPECT_TRUE(key.valueExists("empty"));
    EXPECT_EQ(key.get<std::string>("empty"), "");
    const wchar_t text[] = L"%TEMP%\\x";
    ASSERT_EQ(::RegSetValueExW(key.handle(), L"expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(text),
                               sizeof(text)),
              0);
    EXPECT_EQ(key.get<std::string>("expand"), "%TEMP%\\x");
}

TEST(RegistryKeyValues, MismatchedAndOversizedValuesReadAsEmpty) {
    ScopedTestKey testKey("mismatch");
    RegistryKey key = testKey.open(true);
    const uint64_t qword = 7;
    ASSERT_EQ(::RegSetValueExW(key.handle(), L"qword", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&qword), 8), 0);
    EXPECT_EQ(key.get<uint32_t>("qword"), 0u);
    EXPECT_EQ(key.get<uint32_t>("missing"), 0u);
    EXPECT_EQ(key.get<std::string>("missing"), "");

    const std::wstring longText(4096, L'x');
    ASSERT_TRUE(key.set("long", std::wstring_view(longText)));
    EXPECT_EQ(key.get<std::wstring>("long"), L"");

    ASSERT_TRUE(key.set("dword", uint32_t{5}));
    ScopedAssertCapture asserts;
    EXPECT_EQ(key.get<std::string>("dword"), "");
    EXPECT_EQ(asserts.messages(),
              std::vector<std::string>{
                  "Can only return strings if regType is REG_SZ or REG_EXPAND_SZ. regType=[4]"});
}

TEST(RegistryKeyMultiString, ReadsEntriesIncludingEmptyOnesAndNamesTheCauseOfErrors) {
    ScopedTestKey testKey("multi");
    RegistryKey key = testKey.open(true);
    const wchar_t data[] = L"a\0\0b\0";  // "a", "", "b" and the closing NUL from the literal
    ASSERT_EQ(::RegSetValueExW(key.handle(), L"multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data),
                               sizeof(data)),
              0);
    auto result = key.getMultiString("multi");
    ASSERT_TRUE(result.isOk()) << result.peekError();
    EXPECT_EQ(result.unwrap(), (std::vector<std::string>{"a", "", "b"}));

    const wchar_t empty[] = L"";
    ASSERT_EQ(::RegSetValueExW(key.handle(), L"none", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(empty),
                               sizeof(empty)),
              0);
    EXPECT_TRUE(key.getMultiString("none").unwrap().empty());

    ASSERT_TRUE(key.set("text", "x"));
    EXPECT_EQ(key.getMultiString("missing").unwrapError(), "Value not found, name[missing], status[2]");
    auto wrongType = key.getMultiString("text");
    EXPECT_EQ(wrongType.peekError().rfind("Value must be REG_MULTI_SZ type, name[text], status[", 0), 0u)
        << wrongType.peekError();
    EXPECT_EQ(RegistryKey().getMultiString("x").unwrapError(), "Key not valid");
}

TEST(RegistryKeyMultiString, SplitRejectsMalformedBuffers) {
    ScopedAssertCapture asserts;
    EXPECT_TRUE(splitMultiStringBuffer({}).empty());
    EXPECT_TRUE(splitMultiStringBuffer({L'a', L'b'}).empty());
    EXPECT_TRUE(splitMultiStringBuffer({L'\0'}).empty());
    EXPECT_EQ(asserts.messages(),
              (std::vector<std::string>{"Buffer must not be empty", "Buffer must be null terminated"}));
    EXPECT_EQ(asserts.asserts()[0].condition, "!buffer.empty()");
    EXPECT_EQ(splitMultiStringBuffer({L'x', L'\0', L'y', L'z', L'\0', L'\0'}),
              (std::vector<std::string>{"x", "yz"}));
}

// HKCU\Software is shared between the views (as on current Windows); HKLM\Software, where the
// app key lives, is not.
TEST(RegistryKeyViews, ValueWrittenInOneViewIsNotSeenInTheOther) {
    ScopedTestKey testKey("views", HKEY_LOCAL_MACHINE);
    RegistryKey key64 = testKey.open(true);
    ASSERT_TRUE(key64.set("only64", uint32_t{64}));
    RegistryKey key32 = testKey.open(false);
    ASSERT_TRUE(key32.isValid());
    EXPECT_FALSE(key32.valueExists("only64"));
    EXPECT_TRUE(key32.set("only32", uint32_t{32}));

    EXPECT_FALSE(key64.valueExists("only32"));
    EXPECT_EQ(testKey.open(false, false).get<uint32_t>("only32"), 32u);
    EXPECT_EQ(testKey.open(true, false).get<uint32_t>("only64"), 64u);
}

TEST(RegistryKeyOpen, OpenCreateAndSubkeys) {
    ScopedTestKey testKey("open", HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(testKey.open(true, false).isValid());
    EXPECT_EQ(testKey.open(true, false).status(), ERROR_FILE_NOT_FOUND);

    RegistryKey parent = testKey.open(true);
    RegistryKey child = parent.createSubKey("child\\grandchild", true);
    ASSERT_TRUE(child.isValid());
    EXPECT_TRUE(parent.subkeyExists("child\\grandchild", true));
    // The view is chosen where the path crosses Software, so only a path from the root shows it.
    const std::string fullPath = testKey.path() + "\\child\\grandchild";
    EXPECT_TRUE(RegistryKey::localMachine().subkeyExists(fullPath, true));
    EXPECT_FALSE(RegistryKey::localMachine().subkeyExists(fullPath, false));
    EXPECT_FALSE(parent.subkeyExists("", true));
    EXPECT_TRUE(parent.openSubKey("child", true, false).isValid());
    EXPECT_FALSE(parent.openSubKey("", true, true).isValid());
    EXPECT_FALSE(RegistryKey().openSubKey("child", true, false).isValid());

    child.close();
    EXPECT_TRUE(parent.deleteTree("child"));
    EXPECT_FALSE(parent.subkeyExists("child", true));
}

TEST(RegistryKeyOpen, PredefinedRootsAndEmptyPath) {
    EXPECT_TRUE(RegistryKey::currentUser().isValid());
    EXPECT_TRUE(RegistryKey::localMachine().isValid());
    EXPECT_TRUE(RegistryKey::users().subkeyExists(".DEFAULT", true));
    EXPECT_TRUE(RegistryKey::localMachine().subkeyExists("Software", true));

    ScriptedRegistryProxy proxy;
    ScopedRegistryProxy installed(proxy);
    {
        RegistryKey root(HKEY_CURRENT_USER, "", false, false);
        EXPECT_TRUE(root.isValid());
        EXPECT_EQ(root.status(), 0);
        EXPECT_EQ(root.handle(), HKEY_CURRENT_USER);
        EXPECT_FALSE(root.view64());
        EXPECT_TRUE(proxy.masks.empty());
        RegistryKey none(nullptr, "Software", true, false);
        EXPECT_FALSE(none.isValid());
    }
    EXPECT_EQ(proxy.closeCalls, 1);
}

TEST(RegistryKeyOpen, AccessMasksCarryTheView) {
    ScriptedRegistryProxy proxy;
    proxy.openKey = [](HKEY, LPCWSTR, DWORD, REGSAM, PHKEY) { return LSTATUS{ERROR_FILE_NOT_FOUND}; };
    proxy.createKey = [](HKEY, LPCWSTR, REGSAM) { return LSTATUS{ERROR_ACCESS_DENIED}; };
    ScopedRegistryProxy installed(proxy);

    RegistryKey(HKEY_CURRENT_USER, "a", true, false);
    RegistryKey(HKEY_CURRENT_USER, "a", false, false);
    RegistryKey denied(HKEY_CURRENT_USER, "a", true, true);
    RegistryKey(HKEY_CURRENT_USER, "a", false, true);
    EXPECT_EQ(proxy.masks, (std::vector<REGSAM>{0x20119, 0x20219, 0x2011F, 0x2021F}));

    EXPECT_FALSE(denied.isValid());
    EXPECT_EQ(denied.status(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(denied.set("x", uint32_t{1}));
    EXPECT_FALSE(denied.set("x", "text"));
    EXPECT_FALSE(denied.deleteValue("x"));
    EXPECT_EQ(denied.get<uint32_t>("x"), 0u);
    EXPECT_EQ(proxy.setCalls, 0);
    EXPECT_EQ(proxy.closeCalls, 0);
}

TEST(RegistryKeyOpen, MoveTransfersOwnershipAndClosesOnce) {
    ScopedTestKey testKey("move");
    ScriptedRegistryProxy proxy;
    ScopedRegistryProxy installed(proxy);
    {
        RegistryKey source = testKey.open(false);
        ASSERT_TRUE(source.isValid());
        RegistryKey target(std::move(source));
        EXPECT_FALSE(source.isValid());
        EXPECT_EQ(source.status(), 0);
        EXPECT_TRUE(source.view64());
        EXPECT_FALSE(target.view64());
        RegistryKey assigned = testKey.open(true);
        assigned = std::move(target);
        EXPECT_EQ(proxy.closeCalls, 1);  // the key `assigned` held before
        EXPECT_TRUE(assigned.set("moved", uint32_t{1}));
        assigned.close();
        assigned.close();
        EXPECT_EQ(proxy.closeCalls, 2);
    }
    EXPECT_EQ(proxy.closeCalls, 2);
}

TEST(RegistryKeyFailures, FailedSecondDwordReadAsserts) {
    ScriptedRegistryProxy proxy;
    int calls = 0;
    proxy.queryValue = [&calls](HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD size) {
        *size = 4;
        return LSTATUS{++calls == 1 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED};
    };
    ScopedRegistryProxy installed(proxy);
    ScopedAssertCapture asserts;
    RegistryKey root(HKEY_CURRENT_USER, "", true, false);
    EXPECT_EQ(root.get<uint32_t>("x"), 0u);
    ASSERT_EQ(asserts.asserts().size(), 1u);
    EXPECT_EQ(asserts.asserts()[0].condition, "status == 0L");
}

TEST(RegistryKeyFailures, SizeQueryThatReportsMoreDataAsserts) {
    ScriptedRegistryProxy proxy;
    proxy.getValue = [](HKEY, LPCWSTR, LPCWSTR, DWORD, LPDWORD type, PVOID, LPDWORD) {
        *type = REG_MULTI_SZ;
        return LSTATUS{ERROR_MORE_DATA};
    };
    ScopedRegistryProxy installed(proxy);
    ScopedAssertCapture asserts;
    RegistryKey root(HKEY_CURRENT_USER, "", true, false);
    EXPECT_EQ(root.getMultiString("x").unwrapError(), "Failed to read value size, name[x], status[234]");
    EXPECT_EQ(
        asserts.conditionsAndMessages(),
        (std::vector<std::pair<std::string, std::string>>{
            {"status != 234L", "Must not get an insufficient buffer error when requesting buffer size"}}));
}

TEST(RegistryKeyEnumeration, ListsSubkeysAndStopsWhenAsked) {
    ScopedTestKey testKey("enum");
    RegistryKey key = testKey.open(true);
    for (const char* name : {"one", "two", "three"}) {
        ASSERT_TRUE(key.createSubKey(name, true).isValid());
    }
    std::vector<std::string> names;
    key.enumSubKeys([&names](const std::string& name) {
        names.push_back(name);
        return true;
    });
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"one", "three", "two"}));

    int seen = 0;
    key.enumSubKeys([&seen](const std::string&) { return ++seen < 2; });
    EXPECT_EQ(seen, 2);
}

// The registry refuses key names over 255 characters, so the over-long name is scripted.
TEST(RegistryKeyEnumeration, NameTooLongForTheBufferIsSkipped) {
    const std::vector<std::wstring> names{L"first", std::wstring(300, L'n'), L"last"};
    std::vector<std::string> seen;
    registry_detail::enumerateNames(
        [&names](DWORD index, wchar_t* buffer, DWORD* length) -> LSTATUS {
            if (index >= names.size()) {
                return ERROR_NO_MORE_ITEMS;
            }
            if (names[index].size() >= *length) {
                return ERROR_MORE_DATA;
            }
            names[index].copy(buffer, names[index].size());
            *length = static_cast<DWORD>(names[index].size());
            return ERROR_SUCCESS;
        },
        [&seen](const std::string& name) {
            seen.push_back(name);
            return true;
        });
    EXPECT_EQ(seen, (std::vector<std::string>{"first", "last"}));

    int calls = 0;
    registry_detail::enumerateNames(
        [&calls](DWORD, wchar_t*, DWORD*) -> LSTATUS { return ++calls < 3 ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE; },
        [](const std::string&) { return true; });
    EXPECT_EQ(calls, 3);
}

}  // namespace
}  // namespace kvx::foundation
