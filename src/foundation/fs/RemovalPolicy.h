#pragma once
// What a recursive removal does with each entry it meets, and the removal itself over open entries.
// Portable: the entries are opened and deleted by an implementation of IRemovalNode.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Result.h"

namespace kvx::fs::detail {

inline constexpr uint32_t kAttributeReadOnly = 0x1;
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeReparsePoint = 0x400;
inline constexpr uint32_t kReparseTagMountPoint = 0xA0000003u;
inline constexpr uint32_t kReparseTagSymlink = 0xA000000Cu;
// Windows 10's "the request would have to pass a reparse point"; older headers lack it.
inline constexpr uint32_t kErrorReparsePointEncountered = 4395;

enum class Removal { Descend, Unlink, Delete, Refuse };

// Folders are entered; links to folders (symbolic or mount point) are only unlinked, since their
// targets are not ours. Any other reparse folder (a cloud placeholder, a deduplicated or
// application-defined one) may hold data elsewhere: the removal stops there rather than guess.
Removal removalFor(uint32_t attributes, uint32_t reparseTag);

struct NodeInfo {
    uint32_t attributes = 0;
    uint32_t reparseTag = 0;  // meaningful only with kAttributeReparsePoint
};

// One open file, folder or link. What it is comes from the open node itself, never from a listing
// or a name looked up again, so an entry swapped for a link after it was listed is still a link here.
class IRemovalNode {
public:
    virtual ~IRemovalNode() = default;
    virtual Result<NodeInfo, uint32_t> info() = 0;
    // The names in this folder ("." and ".." left out).
    virtual Result<std::vector<std::wstring>, uint32_t> entryNames() = 0;
    // Opens an entry relative to this folder without following a reparse point.
    virtual Result<std::unique_ptr<IRemovalNode>, uint32_t> openEntry(const std::wstring& name) = 0;
    // Deletes this node itself (a link, never its target); read-only is no obstacle. 0 or the error.
    virtual uint32_t deleteSelf() = 0;
};

// Removes `root` with everything below it; a root that is a file or any link is deleted itself.
// 0 or the first error.
uint32_t removeTree(IRemovalNode& root);

}  // namespace kvx::fs::detail
