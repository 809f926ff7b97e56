#include "foundation/fs/RemovalPolicy.h"

namespace kvx::fs::detail {

namespace {

constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;

uint32_t removeNode(IRemovalNode& node);

uint32_t removeEntries(IRemovalNode& folder) {
    auto names = folder.entryNames();
    if (names.isError()) {
        return names.unwrapError();
    }
    for (const std::wstring& name : names.peek()) {
        auto entry = folder.openEntry(name);
        if (entry.isError()) {
            const uint32_t error = entry.unwrapError();
            // Gone since the listing: nothing left to remove.
            if (error == kErrorFileNotFound || error == kErrorPathNotFound) {
                continue;
            }
            return error;
        }
        if (const uint32_t error = removeNode(*entry.peek()); error != 0) {
            return error;
        }
    }
    return 0;
}

uint32_t removeNode(IRemovalNode& node) {
    auto info = node.info();
    if (info.isError()) {
        return info.unwrapError();
    }
    const Removal removal = removalFor(info.peek().attributes, info.peek().reparseTag);
    if (removal == Removal::Refuse) {
        return kErrorReparsePointEncountered;
    }
    if (removal == Removal::Descend) {
        if (const uint32_t error = removeEntries(node); error != 0) {
            return error;
        }
    }
    return node.deleteSelf();
}

}  // namespace

Removal removalFor(uint32_t attributes, uint32_t reparseTag) {
    if ((attributes & kAttributeDirectory) == 0) {
        return Removal::Delete;
    }
    if ((attributes & kAttributeReparsePoint) == 0) {
        return Removal::Descend;
    }
    return reparseTag == kReparseTagSymlink || reparseTag == kReparseTagMountPoint ? Removal::Unlink
                                                                                  : Removal::Refuse;
}

uint32_t removeTree(IRemovalNode& root) {
    auto info = root.info();
    if (info.isError()) {
        return info.unwrapError();
    }
    // The folder asked for may itself be a link (of any kind): only a plain folder is entered.
    if (removalFor(info.peek().attributes, info.peek().reparseTag) != Removal::Descend) {
        return root.deleteSelf();
    }
    return removeNode(root);
}

}  // namespace kvx::fs::detail
