#pragma once
// The stored target of a symbolic link or mount point, read from the raw reparse data.
// The record layout is declared here because the toolchain keeps it in a driver-kit header.

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/Result.h"

namespace kvx::fs::detail {

// Room for the largest reparse record plus a terminating wide character.
inline constexpr size_t kReparseBufferSize = 16386;

#pragma pack(push, 1)
struct ReparseHeader {
    uint32_t reparseTag;
    uint16_t reparseDataLength;
    uint16_t reserved;
};
struct LinkNames {
    uint16_t substituteNameOffset;  // bytes, from the start of the path buffer
    uint16_t substituteNameLength;  // bytes
    uint16_t printNameOffset;
    uint16_t printNameLength;
};
#pragma pack(pop)

inline constexpr uint32_t kTagMountPoint = 0xA0000003u;
inline constexpr uint32_t kTagSymlink = 0xA000000Cu;
// Symbolic-link records carry a flags word before their path buffer; mount points do not.
inline constexpr size_t kSymlinkFlagsSize = 4;

// The substitute name of a symbolic-link or mount-point record. An absolute name loses its
// "\??\" namespace prefix so that it joins like any other path. Errors are Windows codes.
Result<std::wstring, uint32_t> substituteName(const uint8_t* data, size_t size);

}  // namespace kvx::fs::detail
