// Emptying when made is checked with the common app data directory. Handles, tokens, privileges and
// sessions as far as Wine has them: Wine has no interactive user to query, so the session token is tested
// as a refusal.
#include "foundation/security/ProtectedDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <sstream>

#include "foundation/fs/IFilesystem.h"
#include "foundation/win/AutoHandle.h"
#include "foundation/win/ErrorText.h"
#include "foundation/win/Privileges.h"
#include "foundation/win/Sessions.h"
#include "foundation/win/UserEnvironment.h"
#include "foundation/win/WinUtilsImpl.h"
#include "support/Capture.h"
#include "support/FakeSymlinkFilesystem.h"
#include "support/ScopedFilesystem.h"
#include "support/TempFolder.h"

namespace kvx::foundation::security {
namespace {

class ProtectedDirectory : public ::testing::Test {
protected:
    test::TempFolder mRoot;
    test::ScopedCapturingLogger mLogger;
};

// Real folders under Wine overlaid with what Wine cannot make or keep: junctions (on the way, at the
// directory, or swapped in after the checks by name), a moved final name, the security applied.
struct Overlay {
    std::wstring root;
    std::vector<std::wstring> junctions;
    std::wstring movedTo;  // where the system says the directory "D" really is, when set
    bool createdProtected = false;
    std::vector<std::wstring> secured;
    std::vector<BYTE> owner, dacl;  // copies: both are freed when the call returns
};

class OverlaidDirectory final : public IDirectoryHandle {
public:
    OverlaidDirectory(Overlay& overlay, std::unique_ptr<IDirectoryHandle> real)
        : mOverlay(overlay), mReal(std::move(real)) {
        const std::wstring path = mReal->finalPath().unwrap();
        mName = path.substr(std::min(mOverlay.root.size() + 1, path.size()));
    }
    Result<fs::detail::NodeInfo, uint32_t> info() override {
        const uint32_t reparse =
            std::ranges::count(mOverlay.junctions, mName) != 0 ? FILE_ATTRIBUTE_REPARSE_POINT : 0;
        return Ok(fs::detail::NodeInfo{mReal->info().unwrap().attributes | reparse});
    }
    Result<std::wstring, uint32_t> finalPath() override {
        return mName == L"D" && !mOverlay.movedTo.empty() ? Ok(mOverlay.movedTo) : mReal->finalPath();
    }
    Result<std::vector<std::wstring>, uint32_t> entryNames() override { return mReal->entryNames(); }
    Result<std::unique_ptr<IDirectoryHandle>, uint32_t> openEntry(const std::wstring& name,
                                                                  PSECURITY_DESCRIPTOR createWith,
                                                                  bool& created) override {
        auto entry = mReal->openEntry(name, createWith, created).unwrap();
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        mOverlay.createdProtected |= created &&
                                     GetSecurityDescriptorControl(createWith, &control, &revision) &&
                                     (control & SE_DACL_PROTECTED) != 0;
        return Ok(std::unique_ptr<IDirectoryHandle>(
            std::make_unique<OverlaidDirectory>(mOverlay, std::move(entry))));
    }
    uint32_t setSecurity(PSID owner, PACL dacl) override {
        mOverlay.secured.push_back(mName);
        mOverlay.owner.assign(static_cast<BYTE*>(owner), static_cast<BYTE*>(owner) + GetLengthSid(owner));
        mOverlay.dacl.assign(reinterpret_cast<BYTE*>(dacl), reinterpret_cast<BYTE*>(dacl) + dacl->AclSize);
        return mReal->setSecurity(owner, dacl);
    }

private:
    Overlay& mOverlay;
    std::unique_ptr<IDirectoryHandle> mReal;
    std::wstring mName;
};

TEST_F(ProtectedDirectory, RefusedWhereverAPathLeadsElsewhereAndChangedOnlyThroughTheOpenDirectory) {
    test::ScopedFilesystem links(std::make_shared<test::FakeSymlinkFilesystem>());
    ASSERT_TRUE(links->createDirectorySymlink(mRoot.makeFolder(L"elsewhere"), mRoot / L"linked").isOk());
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    CharUpperW(windows);  // refused whatever the case
    struct Row {
        const char* name;
        std::wstring path;  // below the root, or absolute
        int32_t outcome;
        const char* line = "";
        const wchar_t* files = L"";  // made before the call
        const wchar_t* junctions = L"";
        const wchar_t* movedTo = L"";
        const char* sddl = kAdminOwnedDirectorySddl;
    };
    const Row rows[] = {
        {"created", L"D", kDirectoryCreated},
        {"taken over", L"D", kDirectoryReowned, "Taking ownership of [", L"D\\L\\a D\\j\\x", L"D\\j"},
        {"a junction on the way", L"D\\D", kDirectoryFailed, "is redirected", L"D\\x", L"D"},
        {"the directory is a junction", L"D", kDirectoryFailed, "is redirected", L"D\\x", L"D"},
        {"taken over, final name elsewhere", L"D", kDirectoryFailed, "is redirected", L"D\\x", L"", L"C:\\W"},
        {"created, final name elsewhere", L"D", kDirectoryFailed, "is redirected", L"", L"", L"D:\\D"},
        {"parent redirected", L"linked\\D", kDirectoryFailed, "has been redirected"},
        {"Windows folder", std::wstring(windows) + L"\\KorvTest", kDirectoryFailed,
         "Cannot modify items within the Windows system folder"},
        {"outside", (mRoot.path().parent() / L"outside").wide(), kDirectoryFailed,
         "does not begin with required prefix"},
        {"SDDL unreadable", L"D", kDirectoryFailed,
         "Failed to convert SDDL[D:(x)] to security descriptor: ", L"", L"", L"", "D:(x)"},
        {"SDDL without entries", L"D", kDirectoryFailed, "NULL or empty DACL specified [D:P]", L"", L"", L"",
         "D:P"},
    };
    const auto split = [](const wchar_t* text) {
        std::wistringstream words(text);
        return std::vector<std::wstring>(std::istream_iterator<std::wstring, wchar_t>(words), {});
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        mLogger->clear();
        ASSERT_TRUE(fs::filesystem().removeDirectory(mRoot / L"D", true).isOk());
        for (const std::wstring& file : split(row.files)) {
            mRoot.writeFile(file, "x");
        }
        Overlay overlay{fs::filesystem().canonical(mRoot.path()).unwrap().wide(), split(row.junctions),
                        row.movedTo};
        const auto openRoot = [&](const fs::Path& prefix) {
            return Ok(std::unique_ptr<IDirectoryHandle>(
                std::make_unique<OverlaidDirectory>(overlay, openPrefixDirectory(prefix).unwrap())));
        };
        const fs::Path path = mRoot / row.path;
        EXPECT_EQ(createDirectoryWithAttributes(path, row.sddl, mRoot.path(), false, true, openRoot),
                  row.outcome);
        if (*row.line != 0) {
            EXPECT_EQ(mLogger->count(row.line), 1u);
        }
        EXPECT_EQ(overlay.createdProtected, std::string(row.name).starts_with("created"));
        const std::vector<std::wstring> secured{L"D", L"D\\L", L"D\\L\\a"};  // not the junction inside
        EXPECT_EQ(overlay.secured, row.outcome == kDirectoryReowned ? secured : std::vector<std::wstring>());
        if (row.outcome == kDirectoryReowned) {
            EXPECT_TRUE(IsWellKnownSid(overlay.owner.data(), WinBuiltinAdministratorsSid));
            // Users may read and run, never write, delete or change the owner or access list.
            const auto dacl = reinterpret_cast<PACL>(overlay.dacl.data());
            for (DWORD i = 0; i < dacl->AceCount; ++i) {
                ACCESS_ALLOWED_ACE* ace = nullptr;
                ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
                EXPECT_FALSE(IsWellKnownSid(&ace->SidStart, WinBuiltinUsersSid) &&
                             (ace->Mask & (GENERIC_ALL | GENERIC_WRITE | DELETE | WRITE_DAC | WRITE_OWNER)) !=
                                 0);
            }
        }
    }
}

using namespace WinUtils;

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

// An error's text is the system's own or the number. Wine's administrator token holds the TCB privilege but
// not SeCreateToken; the session query holds TCB only for itself (the second line comes once it is given up).
TEST(WinUtils, ErrorTextsRefusedPrivilegesAndNoSessionTokenWithNobodySignedIn) {
    const std::string text = getErrorAsString(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(getErrorAsString(0x2000FFFF), "errorId=[536936447]");
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
}  // namespace kvx::foundation::security
