// Handles, tokens, privileges and sessions as far as Wine has them: Wine has no interactive user to
// query, so the session token is tested as a refusal.
#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/win/AutoHandle.h"
#include "foundation/win/ErrorText.h"
#include "foundation/win/Privileges.h"
#include "foundation/win/Sessions.h"
#include "foundation/win/UserEnvironment.h"
#include "foundation/win/WinUtilsImpl.h"
#include "support/Capture.h"

namespace kvx::WinUtils {
namespace {

bool isOpen(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(UniqueHandle, EachHandleIsClosedExactlyOnceByItsLastOwner) {
    HANDLE events[4];
    for (HANDLE& event : events) {
        event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(event, nullptr);
    }
    HANDLE released = nullptr;
    {
        AutoHandle source(events[0]);
        AutoHandle owner(std::move(source));
        EXPECT_FALSE(source.valid()) << "a move leaves the source empty";
        EXPECT_EQ(owner.get(), events[0]);
        AutoHandle target(events[1]);
        target = std::move(owner);
        EXPECT_FALSE(isOpen(events[1])) << "a move assignment closes what the target held";
        target.reset(events[2]);
        EXPECT_FALSE(isOpen(events[0])) << "reset closes and takes the new value";
        released = target.release();
        EXPECT_FALSE(target.valid());
        AutoHandle last(events[3]);
    }
    EXPECT_FALSE(isOpen(events[3])) << "destruction closes";
    EXPECT_EQ(released, events[2]);
    EXPECT_TRUE(isOpen(released)) << "release gives up without closing";
    CloseHandle(released);
}

TEST(WinUtils, ErrorTextIsTheSystemsOwnOrTheNumber) {
    const std::string text = getErrorAsString(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(getErrorAsString(0x2000FFFF), "errorId=[536936447]");
}

// Wine's administrator token holds the TCB privilege but not SeCreateToken; the session query holds TCB
// only for itself (the second line is written once it is given up).
TEST(WinUtils, PrivilegesTheTokenLacksAreRefusedAndWithNobodySignedInThereIsNoSessionToken) {
    test::ScopedCapturingLogger logger;
    EXPECT_FALSE(setTokenPrivilege(GetCurrentProcessToken(), "SeNoSuchPrivilege", true));
    EXPECT_EQ(logger->count("LookupPrivilegeValue error ["), 1u);
    AutoPrivilegeManager lacking("SeCreateTokenPrivilege");
    EXPECT_FALSE(lacking.enabled());
    EXPECT_EQ(lacking.error(), static_cast<uint32_t>(ERROR_NOT_ALL_ASSIGNED));
    EXPECT_EQ(logger->count("AdjustTokenPrivileges error, the token does not have the specified privilege: "
                            "SeCreateTokenPrivilege"),
              1u);
    EXPECT_EQ(logger->count("TCB Privilege"), 0u);
    ASSERT_FALSE(getInteractiveSessionId().has_value());
    EXPECT_EQ(winUtils().getInteractiveSessionUserToken().peekError(),
              "No interactive session found, can't spawn process");
    EXPECT_EQ(logger->count("TCB Privilege enabled"), 1u);
    EXPECT_EQ(logger->count("TCB Privilege disabled"), 1u);
}

// The relaunched client gets the user's own environment, not the elevated caller's.
TEST(WinUtils, UserEnvironmentIsBuiltWithoutTheCallersOwnVariables) {
    EXPECT_EQ(winUtils().getUserEnvironment(nullptr).peekError(), "invalid user token");
    SetEnvironmentVariableW(L"KVX_DESTAGER_ONLY", L"1");
    HANDLE raw = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE, &raw);
    auto environment = winUtils().getUserEnvironment(AutoHandle(raw).get());
    SetEnvironmentVariableW(L"KVX_DESTAGER_ONLY", nullptr);
    ASSERT_TRUE(environment.isOk()) << environment.peekError();
    EXPECT_EQ(environment.peek().find("KVX_DESTAGER_ONLY"), std::string::npos);
    EXPECT_TRUE(environment.peek().ends_with(std::string(2, '\0')));

    EnvironmentEntries entries;
    ASSERT_TRUE(parseEnvironmentBlock(L"=C:=C:\\x\0PATH=C:\\a;C:\\b\0EMPTY=\0\0", entries));
    EXPECT_EQ(serializeEnvironment(entries).unwrap(),
              std::string("=C:=C:\\x\0PATH=C:\\a;C:\\b\0EMPTY=\0\0", 32));
    EXPECT_FALSE(parseEnvironmentBlock(L"NOEQUALS\0\0", entries));
    EXPECT_TRUE(serializeEnvironment({{L"A", std::wstring(1, wchar_t(0xD800))}}).isError());
}

}  // namespace
}  // namespace kvx::WinUtils
