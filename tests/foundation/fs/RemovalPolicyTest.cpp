// The removal over stand-in entries: Wine makes no links or placeholders, and no test can swap a
// folder for a link between the listing and the open, so the fake nodes play them. And where a protected
// directory may lie (checked under Wine with the real Windows folder in ProtectedDirectoryTest).
#include "foundation/fs/RemovalPolicy.h"
#include "foundation/security/DirectoryChecks.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace kvx::fs::detail {
namespace {

constexpr uint32_t kDir = kAttributeDirectory, kReparse = kAttributeReparsePoint;
// Files, folders, read-only ones, links to either, a mount point and a cloud placeholder.
constexpr NodeInfo kFile{0, 0}, kFolder{kDir, 0}, kReadOnly{kAttributeReadOnly, 0},
    kReadOnlyFolder{kDir | kAttributeReadOnly, 0};
constexpr NodeInfo kLink{kDir | kReparse, kReparseTagSymlink}, kFileLink{kReparse, kReparseTagSymlink};
constexpr NodeInfo kMount{kDir | kReparse, kReparseTagMountPoint}, kPlaceholder{kDir | kReparse, 0x9000001A};

// Entries by path; what an entry is gets fixed when it is opened. `beforeOpen` may change the tree
// or fail the open with an error. `trace` records each listing and deletion in order.
struct FakeTree {
    std::map<std::wstring, NodeInfo> nodes;
    std::function<uint32_t(FakeTree&, const std::wstring&)> beforeOpen;
    std::wstring trace;
};

class FakeNode final : public IRemovalNode {
public:
    FakeNode(FakeTree& tree, std::wstring path)
        : mTree(tree), mPath(std::move(path)), mInfo(tree.nodes.at(mPath)) {}
    Result<NodeInfo, uint32_t> info() override { return Ok(mInfo); }
    Result<std::vector<std::wstring>, uint32_t> entryNames() override {
        mTree.trace += L" list " + mPath;
        std::vector<std::wstring> names;
        for (const auto& [path, info] : mTree.nodes) {
            if (path.starts_with(mPath + L"\\") && path.find(L'\\', mPath.size() + 1) == std::wstring::npos) {
                names.push_back(path.substr(mPath.size() + 1));
            }
        }
        return Ok(std::move(names));
    }
    Result<std::unique_ptr<IRemovalNode>, uint32_t> openEntry(const std::wstring& name) override {
        const std::wstring path = mPath + L"\\" + name;
        const uint32_t error = mTree.beforeOpen ? mTree.beforeOpen(mTree, path) : 0;
        if (error != 0 || mTree.nodes.count(path) == 0) {
            return Err(error != 0 ? error : 2u);
        }
        return Ok(std::unique_ptr<IRemovalNode>(std::make_unique<FakeNode>(mTree, path)));
    }
    uint32_t deleteSelf() override {
        const auto below = [&](const auto& node) { return node.first.starts_with(mPath + L"\\"); };
        // A link goes whatever its target holds, and what it led to stays untouched elsewhere.
        if ((mInfo.attributes & (kDir | kReparse)) == kDir &&
            std::any_of(mTree.nodes.begin(), mTree.nodes.end(), below)) {
            return 145;
        }
        mTree.trace += L" del " + mPath;
        std::erase_if(mTree.nodes, [&](const auto& node) { return node.first == mPath || below(node); });
        return 0;
    }

private:
    FakeTree& mTree;
    std::wstring mPath;
    NodeInfo mInfo;
};

TEST(RemovalPolicy, TreesGoWholeAndLinksMetAnywhereAreUnlinkedNeverEntered) {
    const auto swapForLink = [](FakeTree& tree, const std::wstring& path) {
        tree.nodes[path] = path == L"r\\s" ? kLink : tree.nodes[path];
        return 0u;
    };
    const auto vanishOrLock = [](FakeTree& tree, const std::wstring& path) {
        tree.nodes.erase(L"r\\gone");
        return path == L"r\\locked" ? 32u : 0u;
    };
    struct Row {
        const wchar_t* trace;
        uint32_t result;
        std::map<std::wstring, NodeInfo> nodes;
        std::function<uint32_t(FakeTree&, const std::wstring&)> beforeOpen = nullptr;
    };
    const Row rows[] = {
        {L" list r del r\\a del r\\f del r\\m del r",
         0,
         {{L"r", kFolder}, {L"r\\a", kFile}, {L"r\\f", kFileLink}, {L"r\\m", kMount}, {L"r\\m\\x", kFile}}},
        {L" list r list r\\s del r\\s\\b del r\\s del r",
         0,
         {{L"r", kFolder}, {L"r\\s", kReadOnlyFolder}, {L"r\\s\\b", kReadOnly}}},
        // Listed as a folder, a link by the time it is opened.
        {L" list r del r\\s del r",
         0,
         {{L"r", kFolder}, {L"r\\s", kFolder}, {L"r\\s\\p", kFile}},
         swapForLink},
        {L" del r", 0, {{L"r", kLink}, {L"r\\p", kFile}}},
        // The placeholder's data may lie elsewhere: the removal stops.
        {L" list r",
         kErrorReparsePointEncountered,
         {{L"r", kFolder}, {L"r\\c", kPlaceholder}, {L"r\\c\\x", kFile}}},
        {L" list r", 32, {{L"r", kFolder}, {L"r\\gone", kFile}, {L"r\\locked", kFile}}, vanishOrLock},
    };
    for (const Row& row : rows) {
        FakeTree tree{row.nodes, row.beforeOpen};
        FakeNode root(tree, L"r");
        EXPECT_EQ(removeTree(root), row.result) << testing::PrintToString(std::wstring(row.trace));
        EXPECT_EQ(tree.trace, row.trace);
    }
}

TEST(DirectoryChecks, RedirectedBelowPrefix) {
    struct Row {
        const wchar_t* resolvedPath;
        const wchar_t* resolvedPrefix;
        bool redirected;
    };
    for (const Row& row : {Row{L"c:\\programdata\\korv desktop", L"C:\\ProgramData", false},
                           Row{L"E:\\Data\\Korv Desktop", L"E:\\Data", false},  // the prefix itself moved
                           Row{L"C:\\Windows\\System32", L"C:\\ProgramData", true},
                           Row{L"C:\\ProgramData\\Other", L"C:\\ProgramData", true},
                           Row{L"", L"C:\\ProgramData", true}}) {  // no final name to compare
        EXPECT_EQ(
            foundation::security::isRedirectedBelowPrefix(
                L"C:\\ProgramData\\Korv Desktop", L"C:\\ProgramData\\", row.resolvedPath, row.resolvedPrefix),
            row.redirected)
            << testing::PrintToString(std::wstring(row.resolvedPath));
    }
}

}  // namespace
}  // namespace kvx::fs::detail
