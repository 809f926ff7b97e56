// Wine makes no directory links (a planted redirect is a recorded one) and keeps no owners or access
// lists, so a taken-over directory is known by its code.
#include "foundation/security/ProtectedDirectory.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "foundation/fs/IFilesystem.h"
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

// Emptying when made is checked with the common app data directory.
TEST_F(ProtectedDirectory, CreatedOrTakenOverWithItsFiles) {
    const fs::Path directory = mRoot / L"Korv Desktop";
    EXPECT_EQ(createAdminOwnedDirectory(directory, mRoot.path(), true, true), kDirectoryCreated);
    mRoot.writeFile(L"Korv Desktop\\Logs\\old.log", "user data");
    EXPECT_EQ(createAdminOwnedDirectory(directory, mRoot.path(), false, true), kDirectoryReowned);
    EXPECT_TRUE(fs::filesystem().isDirectory(directory / L"Logs"));
    EXPECT_EQ(mLogger->linesContaining("Taking ownership of [").size(), 1u);
}

// Stands in for what Wine cannot make or keep: junctions (on the way, at the directory, or swapped in
// after the checks by name), a final name elsewhere, owners and access lists. Entries by full path.
struct FakeTree {
    std::map<std::wstring, uint32_t> attributes;
    std::map<std::wstring, std::wstring> finalPaths;  // where the system says an entry really is
    bool createdProtected = false;
    std::vector<std::wstring> secured;
    std::vector<BYTE> owner;  // copies: both are freed when the call returns
    std::vector<BYTE> dacl;
};

class FakeDirectory final : public IDirectoryHandle {
public:
    FakeDirectory(FakeTree& tree, std::wstring path) : mTree(tree), mPath(std::move(path)) {}
    Result<fs::detail::NodeInfo, uint32_t> info() override {
        return Ok(fs::detail::NodeInfo{mTree.attributes[mPath]});
    }
    Result<std::wstring, uint32_t> finalPath() override {
        return Ok(mTree.finalPaths.count(mPath) != 0 ? mTree.finalPaths[mPath] : mPath);
    }
    Result<std::vector<std::wstring>, uint32_t> entryNames() override {
        std::vector<std::wstring> names;
        for (const auto& [path, attributes] : mTree.attributes) {
            if (path.starts_with(mPath + L"\\") && path.find(L'\\', mPath.size() + 1) == std::wstring::npos) {
                names.push_back(path.substr(mPath.size() + 1));
            }
        }
        return Ok(std::move(names));
    }
    Result<std::unique_ptr<IDirectoryHandle>, uint32_t> openEntry(const std::wstring& name,
                                                                  PSECURITY_DESCRIPTOR createWith,
                                                                  bool& created) override {
        const std::wstring path = mPath + L"\\" + name;
        created = mTree.attributes.count(path) == 0;
        if (created && createWith == nullptr) {
            return Err(uint32_t{ERROR_PATH_NOT_FOUND});
        }
        if (created) {
            mTree.attributes[path] = FILE_ATTRIBUTE_DIRECTORY;
            SECURITY_DESCRIPTOR_CONTROL control = 0;
            DWORD revision = 0;
            mTree.createdProtected = GetSecurityDescriptorControl(createWith, &control, &revision) &&
                                     (control & SE_DACL_PROTECTED) != 0;
        }
        return Ok(std::unique_ptr<IDirectoryHandle>(std::make_unique<FakeDirectory>(mTree, path)));
    }
    uint32_t setSecurity(PSID owner, PACL dacl) override {
        mTree.secured.push_back(mPath.substr(mPath.rfind(L"\\D") + 1));
        mTree.owner.assign(static_cast<BYTE*>(owner), static_cast<BYTE*>(owner) + GetLengthSid(owner));
        mTree.dacl.assign(reinterpret_cast<BYTE*>(dacl), reinterpret_cast<BYTE*>(dacl) + dacl->AclSize);
        return ERROR_SUCCESS;
    }

private:
    FakeTree& mTree;
    std::wstring mPath;
};

TEST_F(ProtectedDirectory, RefusedWhereverAPathLeadsElsewhereAndChangedOnlyThroughTheOpenDirectory) {
    test::ScopedFilesystem links(std::make_shared<test::FakeSymlinkFilesystem>());
    ASSERT_TRUE(links->createDirectorySymlink(mRoot.makeFolder(L"elsewhere"), mRoot / L"linked").isOk());
    mRoot.makeFolder(L"link");  // plain for the checks by name; a junction when opened
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    CharUpperW(windows);  // refused whatever the case
    const std::wstring root = fs::filesystem().canonical(mRoot.path()).unwrap().wide();
    constexpr uint32_t kDir = FILE_ATTRIBUTE_DIRECTORY;
    constexpr uint32_t kJunction = kDir | FILE_ATTRIBUTE_REPARSE_POINT;
    struct Row {
        const char* name;
        std::wstring path;  // below the root, or absolute
        int32_t outcome;
        const char* line = "";
        std::map<std::wstring, uint32_t> attributes = {};
        const wchar_t* finalPath = nullptr;
    };
    const Row rows[] = {
        {"created", L"D", kDirectoryCreated},
        {"taken over",
         L"D",
         kDirectoryReowned,
         "Taking ownership of [",
         {{L"D", kDir}, {L"D\\L", kDir}, {L"D\\L\\a", 0}, {L"D\\j", kJunction}}},
        {"a junction on the way", L"link\\D", kDirectoryFailed, "is redirected", {{L"link", kJunction}}},
        {"the directory is a junction", L"D", kDirectoryFailed, "is redirected", {{L"D", kJunction}}},
        {"taken over, final name elsewhere",
         L"D",
         kDirectoryFailed,
         "is redirected",
         {{L"D", kDir}},
         L"C:\\W"},
        {"created, final name elsewhere", L"D", kDirectoryFailed, "is redirected", {}, L"D:\\D"},
        {"parent redirected", L"linked\\D", kDirectoryFailed, "has been redirected"},
        {"Windows folder", std::wstring(windows) + L"\\KorvTest", kDirectoryFailed,
         "Cannot modify items within the Windows system folder"},
        {"outside", (mRoot.path().parent() / L"outside").wide(), kDirectoryFailed,
         "does not begin with required prefix"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        mLogger->clear();
        FakeTree tree;
        for (const auto& [path, attribute] : row.attributes) {
            tree.attributes[root + L"\\" + path] = attribute;
        }
        if (row.finalPath != nullptr) {
            tree.finalPaths[root + L"\\" + row.path] = row.finalPath;
        }
        const auto openRoot = [&](const fs::Path&) {
            return Ok(std::unique_ptr<IDirectoryHandle>(std::make_unique<FakeDirectory>(tree, root)));
        };
        const fs::Path path = mRoot / row.path;
        EXPECT_EQ(createDirectoryWithAttributes(path, kAdminOwnedDirectorySddl, mRoot.path(), false, true,
                                                openRoot),
                  row.outcome);
        if (*row.line != 0) {
            EXPECT_EQ(mLogger->linesContaining(row.line).size(), 1u);
        }
        EXPECT_EQ(tree.createdProtected, std::string(row.name).starts_with("created"));
        // The junction inside is left alone.
        const std::vector<std::wstring> secured{L"D", L"D\\L", L"D\\L\\a"};
        EXPECT_EQ(tree.secured, row.outcome == kDirectoryReowned ? secured : std::vector<std::wstring>());
        if (row.outcome == kDirectoryReowned) {
            EXPECT_TRUE(IsWellKnownSid(tree.owner.data(), WinBuiltinAdministratorsSid));
            // Users may read and run, never write, delete or change the owner or access list.
            const auto dacl = reinterpret_cast<PACL>(tree.dacl.data());
            for (DWORD i = 0; i < dacl->AceCount; ++i) {
                ACCESS_ALLOWED_ACE* ace = nullptr;
                ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
                const bool users = IsWellKnownSid(&ace->SidStart, WinBuiltinUsersSid);
                EXPECT_EQ(
                    users ? ace->Mask & (GENERIC_ALL | GENERIC_WRITE | DELETE | WRITE_DAC | WRITE_OWNER) : 0,
                    0u);
            }
        }
    }
}

// The directory's own access list parses in every successful creation above.
TEST_F(ProtectedDirectory, SddlWithoutUsableAccessListIsAnError) {
    for (const auto& [sddl, line] :
         {std::pair{"D:(not an ace)", "Failed to convert SDDL[D:(not an ace)] to security descriptor: "},
          std::pair{"D:P", "NULL or empty DACL specified [D:P]"}}) {
        mLogger->clear();
        ParsedDacl parsed;
        EXPECT_NE(parseSddlDacl(sddl, parsed), static_cast<uint32_t>(ERROR_SUCCESS));
        EXPECT_EQ(mLogger->lines().size(), 1u);
        EXPECT_EQ(mLogger->linesContaining(line).size(), 1u) << sddl;
    }
}

}  // namespace
}  // namespace kvx::foundation::security
