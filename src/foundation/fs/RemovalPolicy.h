#pragma once
// What a recursive removal does with each entry it meets.

#include <windows.h>

namespace kvx::fs::detail {

// Windows 10's "the request would have to pass a reparse point"; older headers lack it.
inline constexpr DWORD kErrorReparsePointEncountered = 4395;

enum class Removal { Descend, Unlink, Delete, Refuse };

// Folders are entered; links to folders (symbolic or mount point) are only unlinked, since their
// targets are not ours. Any other reparse folder (a cloud placeholder, a deduplicated or
// application-defined one) may hold data elsewhere: the removal stops there rather than guess.
inline Removal removalFor(DWORD attributes, DWORD reparseTag) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return Removal::Delete;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return Removal::Descend;
    }
    return reparseTag == IO_REPARSE_TAG_SYMLINK || reparseTag == IO_REPARSE_TAG_MOUNT_POINT ? Removal::Unlink
                                                                                            : Removal::Refuse;
}

}  // namespace kvx::fs::detail
