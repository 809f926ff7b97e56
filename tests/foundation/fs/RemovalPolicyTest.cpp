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

struct FakeTree {
    std::map<std::wstring, NodeInfo> nodes;  // by path, "\" separated
    // Runs before each open of an entry: may change the tree, or fail the open with an error.
    std::function<uint32_t(FakeTree&, const std::wstring&)> beforeOpen = [](FakeTree&, const std::wstring&) {
        return 0u;
    };
    std::vector<std::wstring> listed;
    std::vector<std::wstring> deleted;

    bool hasEntriesBelow(const std::wstring& path) const {
        const auto next = nodes.upper_bound(path + L"\\");
        return next != nodes.end() && next->first.starts_with(path + L"\\");
    }
};

class FakeNode final : public IRemovalNode {
public:
    FakeNode(FakeTree& tree, std::wstring path) : mTree(tree), mPath(std::move(path)) {}
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
        if (const uint32_t error = mTree.beforeOpen(mTree, path); error != 0) {
            return Err(error);
        }
        if (mTree.nodes.count(path) == 0) {
            return Err(2u);
        }
        return Ok(std::unique_ptr<IRemovalNode>(open(mTree, path)));
    }
    uint32_t deleteSelf() override {
        // A link goes whatever its target holds; a folder only once it is empty.
        if (mInfo.attributes == kDir && mTree.hasEntriesBelow(mPath)) {
            return 145;
        }
        mTree.deleted.push_back(mPath);
        // Whatever the link led to lies elsewhere and stays there untouched.
        std::erase_if(mTree.nodes, [&](const auto& node) { return node.first == mPath || node.first.starts_with(mPath + L"\\"); });
        return 0;
    }
    // What the node is was fixed when it was opened.
    static std::unique_ptr<FakeNode> open(FakeTree& tree, const std::wstring& path) {
        auto node = std::make_unique<FakeNode>(tree, path);
        node->mInfo = tree.nodes.at(path);
        return node;
    }

private:
    FakeTree& mTree;
    std::wstring mPath;
    NodeInfo mInfo;
};

TEST(RemovalPolicy, TreesGoWholeAndLinksMetAnywhereAreUnlinkedNeverEntered) {
    const auto swapForLink = [](FakeTree& tree, const std::wstring& path) {
        if (path == L"r\\s") {
            tree.nodes[path] = kFolderLink;  // what lies below is now the link target's
        }
        return 0u;
    };
    const auto vanishOrLock = [](FakeTree& tree, const std::wstring& path) {
        tree.nodes.erase(L"r\\gone");
        return path == L"r\\locked" ? 32u : 0u;
    };
    struct Row {
        const char* name;
        std::map<std::wstring, NodeInfo> nodes;
        std::function<uint32_t(FakeTree&, const std::wstring&)> beforeOpen;
        uint32_t result;
        std::vector<std::wstring> deleted;
        std::vector<std::wstring> listed;
    };
    const Row rows[] = {
        {"nested", {{L"r", kFolder}, {L"r\\a", kFile}, {L"r\\s", kFolder}, {L"r\\s\\b", {kAttributeReadOnly, 0}}},
         nullptr, 0, {L"r\\a", L"r\\s\\b", L"r\\s", L"r"}, {L"r", L"r\\s"}},
        {"swapped after the listing", {{L"r", kFolder}, {L"r\\s", kFolder}, {L"r\\s\\p", kFile}}, swapForLink, 0,
         {L"r\\s", L"r"}, {L"r"}},
        {"root is a link", {{L"r", kFolderLink}, {L"r\\p", kFile}}, nullptr, 0, {L"r"}, {}},
        {"unknown reparse folder",
         {{L"r", kFolder}, {L"r\\c", {kDir | kReparse, 0x9000001A}}, {L"r\\c\\x", kFile}}, nullptr,
         kErrorReparsePointEncountered, {}, {L"r"}},
        {"vanished entry skipped, locked one stops", {{L"r", kFolder}, {L"r\\gone", kFile}, {L"r\\locked", kFile}},
         vanishOrLock, 32, {}, {L"r"}},
    };
    for (const Row& row : rows) {
        FakeTree tree{row.nodes};
        if (row.beforeOpen) {
            tree.beforeOpen = row.beforeOpen;
        }
        EXPECT_EQ(removeTree(*FakeNode::open(tree, L"r")), row.result) << row.name;
        EXPECT_EQ(tree.deleted, row.deleted) << row.name;
        EXPECT_EQ(tree.listed, row.listed) << row.name;
    }
}

}  // namespace
}  // namespace kvx::fs::detail
