// The removal over stand-in entries: Wine makes no junctions, and no test can swap a folder for one
// between the listing and the open, so both are played by the fake nodes.
#include "foundation/fs/RemovalPolicy.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <tuple>

namespace kvx::fs::detail {
namespace {

constexpr uint32_t kDir = kAttributeDirectory;
constexpr uint32_t kReparse = kAttributeReparsePoint;
constexpr NodeInfo kFile{0, 0};
constexpr NodeInfo kFolder{kDir, 0};
constexpr NodeInfo kFolderLink{kDir | kReparse, kReparseTagSymlink};

TEST(RemovalPolicy, OnlyPlainFoldersAreEnteredAndOnlyLinksUnlinked) {
    const std::tuple<uint32_t, uint32_t, Removal> rows[] = {
        {kAttributeReadOnly | kReparse, kReparseTagSymlink, Removal::Delete},
        {kDir | kAttributeReadOnly, 0, Removal::Descend},
        {kDir | kReparse, kReparseTagSymlink, Removal::Unlink},
        {kDir | kReparse, kReparseTagMountPoint, Removal::Unlink},
        {kDir | kReparse, 0x9000001A, Removal::Refuse},  // a cloud-files placeholder
    };
    for (const auto& [attributes, tag, expected] : rows) {
        EXPECT_EQ(removalFor(attributes, tag), expected) << std::hex << attributes << " " << tag;
    }
}

// Entries by path; what an entry is gets fixed when it is opened. `beforeOpen` may change the tree
// or fail the open with an error.
struct FakeTree {
    std::map<std::wstring, NodeInfo> nodes;
    std::function<uint32_t(FakeTree&, const std::wstring&)> beforeOpen;
    std::vector<std::wstring> listed;
    std::vector<std::wstring> deleted;
};

class FakeNode final : public IRemovalNode {
public:
    FakeNode(FakeTree& tree, std::wstring path)
        : mTree(tree), mPath(std::move(path)), mInfo(tree.nodes.at(mPath)) {}
    Result<NodeInfo, uint32_t> info() override { return Ok(mInfo); }
    Result<std::vector<std::wstring>, uint32_t> entryNames() override {
        mTree.listed.push_back(mPath);
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
        if (mInfo.attributes == kDir && std::any_of(mTree.nodes.begin(), mTree.nodes.end(), below)) {
            return 145;
        }
        mTree.deleted.push_back(mPath);
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
    const std::tuple<const char*, std::map<std::wstring, NodeInfo>,
                     std::function<uint32_t(FakeTree&, const std::wstring&)>, uint32_t,
                     std::vector<std::wstring>, std::vector<std::wstring>>
        rows[] = {
            {"nested",
             {{L"r", kFolder}, {L"r\\a", kFile}, {L"r\\s", kFolder}, {L"r\\s\\b", {kAttributeReadOnly, 0}}},
             nullptr,
             0,
             {L"r\\a", L"r\\s\\b", L"r\\s", L"r"},
             {L"r", L"r\\s"}},
            {"swapped after the listing",
             {{L"r", kFolder}, {L"r\\s", kFolder}, {L"r\\s\\p", kFile}},
             swapForLink,
             0,
             {L"r\\s", L"r"},
             {L"r"}},
            {"root is a link", {{L"r", kFolderLink}, {L"r\\p", kFile}}, nullptr, 0, {L"r"}, {}},
            {"unknown reparse folder",
             {{L"r", kFolder}, {L"r\\c", {kDir | kReparse, 0x9000001A}}, {L"r\\c\\x", kFile}},
             nullptr,
             kErrorReparsePointEncountered,
             {},
             {L"r"}},
            {"vanished entry skipped, locked one stops",
             {{L"r", kFolder}, {L"r\\gone", kFile}, {L"r\\locked", kFile}},
             vanishOrLock,
             32,
             {},
             {L"r"}},
        };
    for (const auto& [name, nodes, beforeOpen, result, deleted, listed] : rows) {
        FakeTree tree{nodes, beforeOpen};
        FakeNode root(tree, L"r");
        EXPECT_EQ(removeTree(root), result) << name;
        EXPECT_EQ(tree.deleted, deleted) << name;
        EXPECT_EQ(tree.listed, listed) << name;
    }
}

}  // namespace
}  // namespace kvx::fs::detail
