#pragma once
// Opening, reading, listing and deleting through handles, never following a reparse point: an
// entry is opened relative to its folder's open handle, so a name swapped for a link meanwhile
// cannot redirect the elevated program. Windows-only.

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Result.h"
#include "foundation/fs/Path.h"
#include "foundation/fs/RemovalPolicy.h"
#include "foundation/fs/Win32Handles.h"

namespace kvx::fs::detail {

// What a removal needs of an entry, and nothing that a user's open of the file would refuse.
inline constexpr ACCESS_MASK kRemovalAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

enum class OpenMode { existing, createFolder };

struct OpenedEntry {
    FileHandle handle;
    bool created = false;  // createFolder made it now
};

// `path` itself opened (a link is not followed), with backup semantics so folders open too.
Result<FileHandle, uint32_t> openNoFollow(const Path& path, ACCESS_MASK access);

// `name` (one element) inside the folder open as `parent`, a link itself rather than its target.
// createFolder opens an existing entry or makes a folder with `descriptor`.
Result<OpenedEntry, uint32_t> openRelative(HANDLE parent, std::wstring_view name, ACCESS_MASK access,
                                           OpenMode mode = OpenMode::existing,
                                           PSECURITY_DESCRIPTOR descriptor = nullptr);

Result<NodeInfo, uint32_t> nodeInfo(HANDLE handle);

// The entry names of the folder open as `folder` ("." and ".." left out).
Result<std::vector<std::wstring>, uint32_t> entryNames(HANDLE folder);

// Deletes what `handle` is open on (POSIX semantics where the system has them); a read-only
// attribute is cleared through the handle when it stands in the way. 0 or the error.
uint32_t deleteByHandle(HANDLE handle);

// The final name of the open object, without "\\?\".
Result<std::wstring, uint32_t> finalPathOf(HANDLE handle);

// An entry to remove, open with kRemovalAccess.
std::unique_ptr<IRemovalNode> removalNode(FileHandle handle);

}  // namespace kvx::fs::detail
