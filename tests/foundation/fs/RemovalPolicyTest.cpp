// The removal over stand-in entries: Wine makes no links or placeholders, and no test can swap a
// folder for a link between the listing and the open, so the fake nodes play them.
#include "foundation/fs/RemovalPolicy.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace kvx::fs::detail {
namespace {

constexpr uint32_t kDir = kAttributeDirectory;
constexpr uint32_t kReparse = kAttributeReparsePoint;
constexpr NodeInfo kFile{0, 0};
constexpr NodeInfo kFolder{kDir, 0};
constexpr NodeInfo kFolderLink{kDir | kReparse, kReparseTagSymlink};

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
        tree.nodes[path] = path == L"r\\s" ? kFolderLink : tree.nodes[path];
        return 0u;
    };
    const auto vanishOrLock = [](FakeTree& tree, const std::wstring& path) {
        tree.nodes.erase(L"r\\gone");
        return path == L"r\\locked" ? 32u : 0u;
    };
    constexpr NodeInfo kReadOnly{kAttributeReadOnly, 0};
    struct Row {
        std::map<std::wstring, NodeInfo> nodes;
        uint32_t result;
        const wchar_t* trace;
        std::function<uint32_t(FakeTree&, const std::wstring&)> beforeOpen = nullptr;
    };
    const Row rows[] = {
        {{{L"r", kFolder}, {L"r\\a", kFile}, {L"r\\s", {kDir | kAttributeReadOnly}}, {L"r\\s\\b", kReadOnly}},
         0,
         L" list r del r\\a list r\\s del r\\s\\b del r\\s del r"},
        // Listed as a folder, a link by the time it is opened.
        {{{L"r", kFolder}, {L"r\\s", kFolder}, {L"r\\s\\p", kFile}},
         0,
         L" list r del r\\s del r",
         swapForLink},
        {{{L"r", kFolder},
          {L"r\\f", {kReparse, kReparseTagSymlink}},
          {L"r\\m", {kDir | kReparse, kReparseTagMountPoint}},
          {L"r\\m\\x", kFile}},
         0,
         L" list r del r\\f del r\\m del r"},
        {{{L"r", kFolderLink}, {L"r\\p", kFile}}, 0, L" del r"},
        // A cloud placeholder's data may lie elsewhere: the removal stops.
        {{{L"r", kFolder}, {L"r\\c", {kDir | kReparse, 0x9000001A}}, {L"r\\c\\x", kFile}},
         kErrorReparsePointEncountered,
         L" list r"},
        {{{L"r", kFolder}, {L"r\\gone", kFile}, {L"r\\locked", kFile}}, 32, L" list r", vanishOrLock},
    };
    for (const Row& row : rows) {
        FakeTree tree{row.nodes, row.beforeOpen};
        FakeNode root(tree, L"r");
        EXPECT_EQ(removeTree(root), row.result) << testing::PrintToString(std::wstring(row.trace));
        EXPECT_EQ(tree.trace, row.trace);
    }
}

}  // namespace
}  // namespace kvx::fs::detail
