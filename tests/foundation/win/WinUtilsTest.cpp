// Tokens, privileges and sessions as far as Wine has them: Wine gives no process the TCB
// privilege and has no interactive user to query, so those paths are tested as refusals.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "foundation/win/AutoHandle.h"
#include "foundation/win/ErrorText.h"
#include "foundation/win/FileAccess.h"
#include "foundation/win/Privileges.h"
#include "foundation/win/ProcessToken.h"
#include "foundation/win/Sessions.h"
#include "foundation/win/UserEnvironment.h"
#include "foundation/win/WinUtilsImpl.h"
#include "support/Capture.h"

namespace kvx::WinUtils {
namespace {

bool privilegeEnabled(const char* name) {
    HANDLE raw = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw);
    AutoHandle token(raw);
    PRIVILEGE_SET set{};
    set.PrivilegeCount = 1;
    LookupPrivilegeValueA(nullptr, name, &set.Privilege[0].Luid);
    BOOL enabled = FALSE;
    PrivilegeCheck(token.get(), &set, &enabled);
    return enabled != FALSE;
}

AutoHandle ownToken() {
    HANDLE raw = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE, &raw);
    return AutoHandle(raw);
}

TEST(ErrorText, SystemTextWithoutLineBreakOrTheNumber) {
    const std::string text = getErrorAsString(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.back(), '\r');
    EXPECT_EQ(text.find("errorId"), std::string::npos);
    EXPECT_EQ(getErrorAsString(0x2000FFFF), "errorId=[536936447]");
}

TEST(Privileges, EnablesForAScopeAndRefusesWhatTheTokenLacks) {
    test::ScopedCapturingLogger logger;
    ASSERT_FALSE(privilegeEnabled("SeShutdownPrivilege"));
    {
        AutoPrivilegeManager privilege("SeShutdownPrivilege");
        EXPECT_TRUE(privilege.enabled());
        EXPECT_TRUE(privilegeEnabled("SeShutdownPrivilege"));
    }
    EXPECT_FALSE(privilegeEnabled("SeShutdownPrivilege"));
    EXPECT_EQ(logger->linesContaining("TCB Privilege enabled").size(), 1u);
    EXPECT_EQ(logger->linesContaining("TCB Privilege disabled").size(), 1u);

    AutoHandle token = ownToken();
    EXPECT_FALSE(setTokenPrivilege(token.get(), "SeNoSuchPrivilege", true));
    EXPECT_EQ(logger->linesContaining("LookupPrivilegeValue error [").size(), 1u);

    // Wine's administrator token holds the TCB privilege but not this one.
    logger->clear();
    AutoPrivilegeManager lacking("SeCreateTokenPrivilege");
    EXPECT_FALSE(lacking.enabled());
    EXPECT_EQ(lacking.error(), static_cast<uint32_t>(ERROR_NOT_ALL_ASSIGNED));
    EXPECT_EQ(logger->linesContaining("AdjustTokenPrivileges error, the token does not have the specified privilege: "
                                      "SeCreateTokenPrivilege")
                  .size(),
              1u);
    EXPECT_TRUE(logger->linesContaining("TCB Privilege").empty());
}

TEST(Sessions, WithNobodySignedInThereIsNoSessionToken) {
    // Wine has no active terminal-services session.
    test::ScopedCapturingLogger logger;
    ASSERT_FALSE(getInteractiveSessionId().has_value());
    auto token = winUtils().getInteractiveSessionUserToken();
    EXPECT_EQ(token.peekError(), "No interactive session found, can't spawn process");
    // The privilege was held only for the query.
    EXPECT_EQ(logger->linesContaining("TCB Privilege enabled").size(), 1u);
    EXPECT_EQ(logger->linesContaining("TCB Privilege disabled").size(), 1u);
    EXPECT_FALSE(privilegeEnabled("SeTcbPrivilege"));

    EXPECT_EQ(winUtils().getActiveUserImpersonationToken().peekError(), "no session for active user");
    EXPECT_EQ(winUtils().getUserImpersonationToken("").peekError(), "empty user-name");
}

TEST(UserEnvironment, ParsesAndSerializesBlocks) {
    EnvironmentEntries entries;
    ASSERT_TRUE(parseEnvironmentBlock(L"=C:=C:\\x\0PATH=C:\\a;C:\\b\0EMPTY=\0\0", entries));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].first, L"=C:");
    EXPECT_EQ(entries[0].second, L"C:\\x");
    EXPECT_EQ(entries[2].second, L"");
    auto text = serializeEnvironment(entries);
    ASSERT_TRUE(text.isOk());
    EXPECT_EQ(text.peek(), std::string("=C:=C:\\x\0PATH=C:\\a;C:\\b\0EMPTY=\0\0", 32));

    EnvironmentEntries broken;
    EXPECT_FALSE(parseEnvironmentBlock(L"NOEQUALS\0\0", broken));
    EXPECT_TRUE(serializeEnvironment({{L"A", std::wstring(1, wchar_t(0xD800))}}).isError());
}

TEST(UserEnvironment, BuiltWithoutTheCallersOwnVariables) {
    EXPECT_EQ(getUserEnvironment(nullptr).peekError(), "invalid user token");
    SetEnvironmentVariableW(L"KVX_DESTAGER_ONLY", L"1");
    AutoHandle token = ownToken();
    auto environment = winUtils().getUserEnvironment(token.get());
    SetEnvironmentVariableW(L"KVX_DESTAGER_ONLY", nullptr);
    ASSERT_TRUE(environment.isOk()) << environment.peekError();
    const std::string& text = environment.peek();
    EXPECT_EQ(text.find("KVX_DESTAGER_ONLY"), std::string::npos);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), std::string(2, '\0'));
    EXPECT_NE(text.find('='), std::string::npos);
}

TEST(FileAccess, ChecksExistenceKindAndOpenabilityAndClearsReadOnly) {
    test::ScopedCapturingLogger logger;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self);
    folder.resize(folder.find_last_of(L'\\'));

    EXPECT_TRUE(winUtils().canRead(self));
    EXPECT_TRUE(winUtils().canList(folder));
    EXPECT_FALSE(hasAccess(self, 1, true));
    EXPECT_EQ(logger->linesContaining("Path is not a directory: [").size(), 1u);
    EXPECT_FALSE(winUtils().canRead(folder + L"\\kvx-missing.bin"));
    EXPECT_EQ(logger->linesContaining("Path does not exist: [").size(), 1u);

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring file = std::wstring(temp) + L"kvx-readonly-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    AutoHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_READONLY, nullptr));
    ASSERT_NE(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(winUtils().tryRemoveReadOnlyAttribute(file).isOk());
    EXPECT_EQ(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(winUtils().canWrite(file));
    DeleteFileW(file.c_str());
    EXPECT_EQ(winUtils().tryRemoveReadOnlyAttribute(file).peekError().rfind("Failed to open file: ", 0), 0u);
}

TEST(ProcessToken, OnlyTheExpectedImageGivesItsToken) {
    test::ScopedCapturingLogger logger;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    auto token = winUtils().getProcessImpersonationToken(GetCurrentProcessId(), self);
    ASSERT_TRUE(token.isOk()) << token.peekError();
    EXPECT_TRUE(token.peek().valid());

    auto wrong = getProcessImpersonationToken(GetCurrentProcessId(), L"C:\\elsewhere\\other.exe");
    EXPECT_EQ(wrong.peekError(), "Process paths didn't match");
    EXPECT_EQ(logger->linesContaining("Process paths didn't match, expected[C:\\elsewhere\\other.exe], actual[").size(),
              1u);

    auto sid = winUtils().getUserSid(nullptr);
    ASSERT_TRUE(sid.isOk()) << sid.peekError();
    EXPECT_EQ(sid.peek().rfind("S-1-5-", 0), 0u);
}

class FixedSessionUtils final : public WinUtilsImpl {
public:
    Result<AutoHandle, std::string> getInteractiveSessionUserToken() override {
        return Err{std::string("stand-in")};
    }
};

TEST(WinUtilsImpl, ConvertsFileTimesAndCanBeReplaced) {
    EXPECT_EQ(winUtils().fileTimeToSeconds(116444736000000000ull + 50000000ull), 5);
    EXPECT_EQ(winUtils().fileTimeToSeconds(116444736000000000ull), 0);
    EXPECT_EQ(winUtils().fileTimeToSeconds(1000), 0);

    auto previous = setWinUtils(std::make_shared<FixedSessionUtils>());
    EXPECT_EQ(winUtils().getInteractiveSessionUserToken().peekError(), "stand-in");
    setWinUtils(previous);
    EXPECT_NE(winUtils().getInteractiveSessionUserToken().peekError(), "stand-in");
}

}  // namespace
}  // namespace kvx::WinUtils
