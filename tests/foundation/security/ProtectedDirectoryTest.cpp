// Wine makes no directory links (a planted redirect is a recorded one) and keeps no owners or access
// lists, so a taken-over directory is known by its code.
#include "foundation/security/ProtectedDirectory.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <tuple>

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

TEST_F(ProtectedDirectory, RefusesPathsOutsideThePrefixTheWindowsFolderAndRedirects) {
    test::ScopedFilesystem links(std::make_shared<test::FakeSymlinkFilesystem>());
    const fs::Path elsewhere = mRoot.makeFolder(L"elsewhere");
    const fs::Path prefix = mRoot.makeFolder(L"prefix");
    ASSERT_TRUE(links->createDirectorySymlink(elsewhere, prefix / L"linked").isOk());
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    CharUpperW(windows);  // refused whatever the case
    struct Row {
        fs::Path path;
        const char* line;
    };
    for (const Row& row : {
             Row{fs::Path(windows) / L"KorvTest", "Cannot modify items within the Windows system folder"},
             Row{mRoot / L"outside", "does not begin with required prefix"},
             Row{prefix / L"linked\\Korv Desktop", "has been redirected"},
         }) {
        SCOPED_TRACE(row.path.utf8());
        mLogger->clear();
        EXPECT_EQ(createAdminOwnedDirectory(row.path, prefix, true, false), kDirectoryFailed);
        EXPECT_EQ(mLogger->linesContaining(row.line).size(), 1u);
        EXPECT_EQ(GetFileAttributesW(row.path.c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(fs::filesystem().isEmpty(elsewhere).peek()) << "nothing written through the redirect";
    }
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
        mTree.secured.push_back(mPath.substr(mPath.rfind(L"Data")));
        mTree.owner.assign(static_cast<BYTE*>(owner), static_cast<BYTE*>(owner) + GetLengthSid(owner));
        mTree.dacl.assign(reinterpret_cast<BYTE*>(dacl), reinterpret_cast<BYTE*>(dacl) + dacl->AclSize);
        return ERROR_SUCCESS;
    }

private:
    FakeTree& mTree;
    std::wstring mPath;
};

TEST_F(ProtectedDirectory, EveryElementIsOpenedByHandleAndNothingIsChangedThroughARedirect) {
    const std::wstring root = fs::filesystem().canonical(mRoot.path()).unwrap().wide() + L"\\";
    mRoot.makeFolder(L"link");  // plain for the checks by name; a junction when opened
    constexpr uint32_t kDir = FILE_ATTRIBUTE_DIRECTORY;
    constexpr uint32_t kJunction = kDir | FILE_ATTRIBUTE_REPARSE_POINT;
    using Attributes = std::map<std::wstring, uint32_t>;
    const std::tuple<const char*, Attributes, const wchar_t*, const wchar_t*, int32_t,
                     std::vector<std::wstring>>
        rows[] = {
            {"created", {}, L"Data", L"", kDirectoryCreated, {}},
            {"taken over",
             {{L"Data", kDir}, {L"Data\\Logs", kDir}, {L"Data\\Logs\\a", 0}, {L"Data\\j", kJunction}},
             L"Data",
             L"",
             kDirectoryReowned,
             {L"Data", L"Data\\Logs", L"Data\\Logs\\a"}},
            {"a junction on the way", {{L"link", kJunction}}, L"link\\Data", L"", kDirectoryFailed, {}},
            {"the directory is a junction", {{L"Data", kJunction}}, L"Data", L"", kDirectoryFailed, {}},
            {"taken over, final name elsewhere",
             {{L"Data", kDir}},
             L"Data",
             L"C:\\Windows",
             kDirectoryFailed,
             {}},
            {"created, final name elsewhere", {}, L"Data", L"D:\\Data", kDirectoryFailed, {}},
        };
    for (const auto& [name, attributes, below, finalPath, outcome, secured] : rows) {
        SCOPED_TRACE(name);
        mLogger->clear();
        FakeTree tree;
        for (const auto& [path, attribute] : attributes) {
            tree.attributes[root + path] = attribute;
        }
        if (*finalPath != 0) {
            tree.finalPaths[root + below] = finalPath;
        }
        const fs::Path path = mRoot / below;
        EXPECT_EQ(createDirectoryWithAttributes(
                      path, kAdminOwnedDirectorySddl, mRoot.path(), false, true,
                      [&](const fs::Path&) {
                          return Ok(std::unique_ptr<IDirectoryHandle>(
                              std::make_unique<FakeDirectory>(tree, root.substr(0, root.size() - 1))));
                      }),
                  outcome);
        EXPECT_EQ(tree.secured, secured);
        EXPECT_EQ(mLogger->linesContaining("Path [" + path.utf8() + "] is redirected").size(),
                  outcome == kDirectoryFailed ? 1u : 0u);
        EXPECT_EQ(mLogger->linesContaining("Taking ownership of [").size(), secured.size() > 0 ? 1u : 0u);
        EXPECT_EQ(tree.createdProtected,
                  outcome == kDirectoryCreated || std::string(name).starts_with("created"));
        if (outcome == kDirectoryReowned) {
            EXPECT_TRUE(IsWellKnownSid(tree.owner.data(), WinBuiltinAdministratorsSid));
            // Users may read and run, never write, delete or change the owner or access list.
            const auto dacl = reinterpret_cast<PACL>(tree.dacl.data());
            for (DWORD i = 0; i < dacl->AceCount; ++i) {
                ACCESS_ALLOWED_ACE* ace = nullptr;
                ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
                EXPECT_EQ(IsWellKnownSid(&ace->SidStart, WinBuiltinUsersSid)
                              ? ace->Mask & (GENERIC_ALL | GENERIC_WRITE | DELETE | WRITE_DAC | WRITE_OWNER)
                              : 0,
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
