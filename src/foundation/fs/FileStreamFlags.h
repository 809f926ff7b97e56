#pragma once
// Translation of the layer's stream enumerations to the values of the Win32 file API.

#include <windows.h>

#include <cstdint>

#include "foundation/fs/FileStream.h"

namespace kvx::fs::detail {

struct OpenFlags {
    DWORD desiredAccess;
    DWORD creationDisposition;
    DWORD shareMode;
};

// An unknown access is asserted and taken as read and write.
DWORD translateAccess(FileAccess access);
// An unknown disposition is asserted and taken as the default one.
DWORD translateDisposition(CreateDisposition disposition, DWORD desiredAccess);
// Write sharing also grants read sharing.
DWORD translateShare(uint32_t shareFlags);
// An unknown base is asserted and taken as the beginning.
DWORD translateSeekBase(SeekBase base);

OpenFlags translateOpen(FileAccess access, CreateDisposition disposition, uint32_t shareFlags);

}  // namespace kvx::fs::detail
