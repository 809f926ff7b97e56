// Protected directories under Wine. Wine makes no junctions or directory links: a planted redirect
// is stood in for by the filesystem seam's final-path answer (FakeSymlinkFilesystem). Wine 8 keeps
// no owner or access list of its own for files (it answers from the Unix mode), so the access list
// is read back from the descriptor handed to the directory creation, and a taken-over directory is
// known by its code, which needs the owner and access list calls and the reset of its children to
// have succeeded.
#include "foundation/security/ProtectedDirectory.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "foundation/fs/IFilesystem.h"
#include "support/Capture.h"
#include "support/FakeSymlinkFilesystem.h"
#include "support/ScopedFilesystem.h"
#include "support/TempFolder.h"

namespace kvx::foundation::security {
namespace {

struct Entry {
    WELL_KNOWN_SID_TYPE sid;
    ACCESS_MASK rights;
    bool operator==(const Entry&) const = default;
};

// The allow entries that are inherited by folders and files, in order; anything else ends the list.
std::vector<Entry> inheritedAllowEntries(PACL dacl) {
    std::vector<Entry> entries;
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) ||
            ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            ace->Header.AceFlags != (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) {
            break;
        }
        PSID sid = &ace->SidStart;
        for (WELL_KNOWN_SID_TYPE type :
             {WinBuiltinUsersSid, WinLocalSystemSid, WinBuiltinAdministratorsSid}) {
            if (IsWellKnownSid(sid, type)) {
                entries.push_back({type, ace->Mask});
            }
        }
    }
    return entries;
}

class ProtectedDirectory : public ::testing::Test {
protected:
    test::TempFolder mRoot;
    test::ScopedCapturingLogger mLogger;
};

TEST_F(ProtectedDirectory, CreatedOrTakenOverWithTheAdminOwnerAndAccessList) {
    struct Row {
        const char* name;
        bool existsWithFiles;
        bool removeExisting;
        int32_t code;
        bool filesRemain;
    };
    for (const Row& row : {Row{"fresh", false, true, kDirectoryCreated, false},
                           Row{"existing, emptied", true, true, kDirectoryCreated, false},
                           Row{"existing, kept and re-owned", true, false, kDirectoryReowned, true}}) {
        SCOPED_TRACE(row.name);
        const fs::Path directory = mRoot / L"Korv Desktop";
        (void)fs::filesystem().removeDirectory(directory, true);
        if (row.existsWithFiles) {
            mRoot.writeFile(L"Korv Desktop\\Logs\\old.log", "user data");
        }
        EXPECT_EQ(createAdminOwnedDirectory(directory, mRoot.path(), row.removeExisting, true), row.code);
        EXPECT_EQ(fs::filesystem().isDirectory(directory / L"Logs"), row.filesRemain);
        EXPECT_EQ(mLogger->linesContaining("Taking ownership of [").size(), row.filesRemain ? 1u : 0u);
        mLogger->clear();
    }
}

TEST_F(ProtectedDirectory, RefusesPathsOutsideThePrefixTheWindowsFolderAndRedirects) {
    test::ScopedFilesystem links(std::make_shared<test::FakeSymlinkFilesystem>());
    const fs::Path elsewhere = mRoot.makeFolder(L"elsewhere");
    const fs::Path prefix = mRoot.makeFolder(L"prefix");
    ASSERT_TRUE(links->createDirectorySymlink(elsewhere, prefix / L"linked").isOk());
    ASSERT_TRUE(links->createDirectorySymlink(elsewhere, prefix / L"Korv Desktop").isOk());
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring upperWindows = windows;
    for (wchar_t& c : upperWindows) {
        c = static_cast<wchar_t>(towupper(c));
    }
    struct Row {
        fs::Path path;
        const char* line;
        bool createdThere;  // a directory made before the final check is left in place
    };
    for (const Row& row : {
             Row{fs::Path(upperWindows) / L"KorvTest", "Cannot modify items within the Windows system folder",
                 false},
             Row{mRoot / L"outside", "does not begin with required prefix", false},
             Row{prefix / L"linked\\Korv Desktop", "has been redirected", false},
             Row{prefix / L"Korv Desktop", "is redirected", true},
         }) {
        SCOPED_TRACE(row.path.utf8());
        mLogger->clear();
        EXPECT_EQ(createAdminOwnedDirectory(row.path, prefix, true, false), kDirectoryFailed);
        EXPECT_EQ(mLogger->linesContaining(row.line).size(), 1u);
        EXPECT_EQ(GetFileAttributesW(row.path.c_str()) != INVALID_FILE_ATTRIBUTES, row.createdThere);
        EXPECT_TRUE(fs::filesystem().isEmpty(elsewhere).peek()) << "nothing written through the redirect";
    }
}

TEST_F(ProtectedDirectory, SddlWithoutUsableAccessListIsAnError) {
    struct Row {
        const char* sddl;
        const char* line;  // nullptr: parsed
    };
    for (const Row& row :
         {Row{"D:(not an ace)", "Failed to convert SDDL[D:(not an ace)] to security descriptor: "},
          Row{"D:P", "NULL or empty DACL specified [D:P]"}, Row{kAdminOwnedDirectorySddl, nullptr}}) {
        SCOPED_TRACE(row.sddl);
        mLogger->clear();
        ParsedDacl parsed;
        const uint32_t error = parseSddlDacl(row.sddl, parsed);
        EXPECT_EQ(error == ERROR_SUCCESS, row.line == nullptr);
        EXPECT_EQ(mLogger->lines().size(), row.line == nullptr ? 0u : 1u);
        if (row.line != nullptr) {
            EXPECT_EQ(mLogger->linesContaining(row.line).size(), 1u);
        } else {
            SECURITY_DESCRIPTOR_CONTROL control = 0;
            DWORD revision = 0;
            ASSERT_TRUE(
                GetSecurityDescriptorControl(parsed.attributes.lpSecurityDescriptor, &control, &revision));
            EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "no entries inherited from above";
            EXPECT_EQ(parsed.dacl->AceCount, 3);
            EXPECT_EQ(inheritedAllowEntries(parsed.dacl),
                      (std::vector<Entry>{{WinBuiltinUsersSid, GENERIC_READ | GENERIC_EXECUTE},
                                          {WinLocalSystemSid, GENERIC_ALL},
                                          {WinBuiltinAdministratorsSid, GENERIC_ALL}}));
        }
    }
}

}  // namespace
}  // namespace kvx::foundation::security
